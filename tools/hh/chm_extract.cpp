#include "chm_extract.h"

#include "chm_directory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <chm_lib.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace kvx::hh {

namespace {

// Hard limits against files made to fill the disk.
constexpr unsigned long long kMaxEntrySize = 1ull << 30;
constexpr unsigned long long kMaxTotalSize = 4ull << 30;

QByteArray digest(const QByteArray& text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex().left(16);
}

Extraction failure(ViewError error, const QString& message) {
    Extraction e;
    e.error = error;
    e.message = message;
    return e;
}

struct ChmCloser {
    void operator()(chmFile* h) const { chm_close(h); }
};
using ChmHandle = std::unique_ptr<chmFile, ChmCloser>;

// Copies one entry into a new file; false when it cannot be read or written whole.
bool writeEntry(chmFile* h, chmUnitInfo* ui, const QByteArray& target) {
    const int fd =
        ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::vector<unsigned char> buf(1 << 16);
    LONGUINT64 at = 0;
    bool ok = true;
    while (ok && at < ui->length) {
        const LONGINT64 want =
            static_cast<LONGINT64>(std::min<LONGUINT64>(buf.size(), ui->length - at));
        const LONGINT64 got = chm_retrieve_object(h, ui, buf.data(), at, want);
        if (got <= 0) {
            ok = false;
            break;
        }
        std::size_t done = 0;
        while (done < static_cast<std::size_t>(got)) {
            const ssize_t n = ::write(fd, buf.data() + done, static_cast<std::size_t>(got) - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = false;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        at += static_cast<LONGUINT64>(got);
    }
    return ::close(fd) == 0 && ok;
}

struct Walk {
    chmFile* h;
    QString folder;
    QStringList refused;
    QStringList pages; // relative paths of the .htm entries, in archive order
    unsigned long long total = 0;
    QString error;
};

// Unpacks one entry; false stops the walk (walk->error says why).
bool extractOne(Walk* walk, const std::string& name) {
    // Internal entries ("::DataSpace/...", "/#SYSTEM", "/$OBJINST") and folders are no pages.
    if (name.empty() || name[0] != '/' || name.rfind("/#", 0) == 0 || name.rfind("/$", 0) == 0 ||
        name.back() == '/')
        return true;
    const std::string relative = safeRelativePath(name);
    chmUnitInfo ui;
    if (relative.empty() || chm_resolve_object(walk->h, name.c_str(), &ui) != CHM_RESOLVE_SUCCESS) {
        walk->refused << QString::fromUtf8(name.c_str());
        return true;
    }
    if (ui.length > kMaxEntrySize || walk->total + ui.length > kMaxTotalSize) {
        walk->error =
            QStringLiteral("an entry is too large: %1").arg(QString::fromUtf8(name.c_str()));
        return false;
    }
    walk->total += ui.length;
    const QString rel = QString::fromUtf8(relative.c_str());
    const QString target = walk->folder + QLatin1Char('/') + rel;
    const QString parent = QFileInfo(target).path();
    if (!QDir().mkpath(parent) || !writeEntry(walk->h, &ui, QFile::encodeName(target))) {
        // Two entries of one name, or a file where a folder should be: leave it out.
        walk->refused << QString::fromUtf8(name.c_str());
        return true;
    }
    if (rel.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
        rel.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
        walk->pages << rel;
    return true;
}

// The default topic named in the archive's system record, if any.
std::string defaultTopic(chmFile* h) {
    chmUnitInfo ui;
    if (chm_resolve_object(h, "/#SYSTEM", &ui) != CHM_RESOLVE_SUCCESS || ui.length < 4)
        return {};
    std::vector<unsigned char> data(
        static_cast<std::size_t>(std::min<LONGUINT64>(ui.length, 1 << 16)));
    const LONGINT64 got =
        chm_retrieve_object(h, &ui, data.data(), 0, static_cast<LONGINT64>(data.size()));
    if (got < 4)
        return {};
    const std::size_t size = static_cast<std::size_t>(got);
    // A version, then records of a 16-bit code, a 16-bit length and that many bytes.
    std::size_t at = 4;
    while (at + 4 <= size) {
        const unsigned code = data[at] | (data[at + 1] << 8);
        const std::size_t length = data[at + 2] | (data[at + 3] << 8);
        at += 4;
        if (length > size - at)
            break;
        if (code == 2) {
            std::string topic(reinterpret_cast<const char*>(&data[at]), length);
            topic = topic.substr(0, topic.find('\0'));
            return topic;
        }
        at += length;
    }
    return {};
}

// The page to show: the default topic, else index.htm, else the first page.
QString chooseTopic(chmFile* h, const Walk& walk) {
    std::string topic = defaultTopic(h);
    if (!topic.empty() && topic[0] != '/')
        topic.insert(0, "/");
    const std::string relative = safeRelativePath(topic);
    QStringList candidates;
    if (!relative.empty())
        candidates << QString::fromUtf8(relative.c_str());
    candidates << QStringLiteral("index.htm") << walk.pages;
    for (const QString& c : candidates)
        if (QFileInfo(walk.folder + QLatin1Char('/') + c).isFile())
            return c;
    return {};
}

} // namespace

std::string safeRelativePath(const std::string& entryName) {
    if (entryName.size() < 2 || entryName[0] != '/')
        return {};
    const std::string relative = entryName.substr(1);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = relative.find('/', start);
        const std::string part = relative.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return {};
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    for (unsigned char c : relative)
        if (c < 0x20 || c == 0x7f || c == '\\')
            return {};
    return relative;
}

QString cacheRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/korvenix31");
}

Extraction extractToCache(const QString& chmPath, const QString& root) {
    const QFileInfo info(chmPath);
    if (chmPath.isEmpty() || !info.exists())
        return failure(ViewError::CannotOpen,
                       QStringLiteral("The file \"%1\" can't be found.").arg(chmPath));
    if (!info.isFile() || !info.isReadable())
        return failure(ViewError::CannotOpen,
                       QStringLiteral("The file \"%1\" can't be read.").arg(chmPath));

    const QString absolute = info.absoluteFilePath();
    const QByteArray pathKey = digest(QFile::encodeName(absolute));
    const QByteArray versionKey =
        digest(QByteArray::number(info.lastModified().toMSecsSinceEpoch()) + ' ' +
               QByteArray::number(info.size()));
    const QString name = QString::fromLatin1(pathKey + '-' + versionKey);
    const QString folder = root + QLatin1Char('/') + name;

    ChmHandle h(chm_open(QFile::encodeName(absolute).constData()));
    if (!h)
        return failure(ViewError::CannotOpen,
                       QStringLiteral("The file \"%1\" is not a compiled help file.").arg(chmPath));

    Extraction result;
    result.folder = folder;
    if (QFileInfo(folder).isDir()) {
        Walk walk{h.get(), folder, {}, {}, 0, {}};
        walk.pages = QDir(folder).entryList({QStringLiteral("*.htm"), QStringLiteral("*.html")},
                                            QDir::Files, QDir::Name);
        result.topic = chooseTopic(h.get(), walk);
        result.reused = !result.topic.isEmpty();
        // A folder someone emptied is unpacked again.
        if (!result.reused)
            QDir(folder).removeRecursively();
    }
    if (!result.reused) {
        if (!QDir().mkpath(root))
            return failure(ViewError::CannotWriteCache,
                           QStringLiteral("The cache folder \"%1\" can't be created.").arg(root));
        // Unpacked beside, then renamed: a folder of that name is always complete.
        QTemporaryDir work(root + QStringLiteral("/.unpack-XXXXXX"));
        if (!work.isValid())
            return failure(ViewError::CannotWriteCache,
                           QStringLiteral("The cache folder \"%1\" can't be written.").arg(root));
        Walk walk{h.get(), work.path(), {}, {}, 0, {}};
        // Listed from the directory itself: chmlib's own listing can miss a whole chunk.
        const chm::Directory directory =
            chm::readDirectory(QFile::encodeName(absolute).toStdString());
        if (!directory.ok)
            walk.error = QString::fromStdString(directory.problem);
        for (std::size_t i = 0; directory.ok && i < directory.names.size(); ++i)
            if (!extractOne(&walk, directory.names[i]))
                break;
        if (!walk.error.isEmpty())
            return failure(ViewError::CannotOpen,
                           QStringLiteral("The file \"%1\" is damaged%2.")
                               .arg(chmPath, walk.error.isEmpty()
                                                 ? QString()
                                                 : QStringLiteral(": ") + walk.error));
        result.refused = walk.refused;
        result.topic = chooseTopic(h.get(), walk);
        if (::rename(QFile::encodeName(work.path()).constData(),
                     QFile::encodeName(folder).constData()) == 0) {
            work.setAutoRemove(false);
        } else if (!QFileInfo(folder).isDir()) {
            return failure(ViewError::CannotWriteCache,
                           QStringLiteral("The cache folder \"%1\" can't be written.").arg(folder));
        } // else another viewer unpacked the same file meanwhile: use its folder.
        // Earlier versions of the same file are of no more use.
        const QDir rootDir(root);
        for (const QString& old :
             rootDir.entryList({QString::fromLatin1(pathKey) + QStringLiteral("-*")}, QDir::Dirs))
            if (old != name)
                QDir(rootDir.filePath(old)).removeRecursively();
    }
    if (result.topic.isEmpty())
        return failure(ViewError::NoTopic,
                       QStringLiteral("The file \"%1\" holds no page to show.").arg(chmPath));
    result.topic = folder + QLatin1Char('/') + result.topic;
    return result;
}

} // namespace kvx::hh
