#include "index/index_build.h"

#include "drawing/folder_listing.h"
#include "files/paths.h"
#include "index/index_pages.h"
#include "index/run_program.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx {

namespace {

const char* const kCompilerOutput = "hhctest.chm";
const char* const kNotCreated = "The index file %1 could not be created.";
const char* const kCannotStart = "The help compiler %1 cannot be started.";
// The compiler's last words are the ones that say what went wrong.
constexpr int kCompilerLines = 10;

std::string native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString inFolder(const QString& folder, const QString& name) {
    return QFile::decodeName(QByteArray::fromStdString(joinPath(native(folder), native(name))));
}

QString systemText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// Enough of a file to tell a new one from the one that was there before.
struct FileStamp {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec modified;

    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

std::optional<FileStamp> stampOf(const QString& path) {
    struct stat st {};
    if (::stat(native(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

QString lastLines(const QString& text) {
    QStringList lines = text.trimmed().split(QLatin1Char('\n'));
    if (lines.size() > kCompilerLines)
        lines = lines.mid(lines.size() - kCompilerLines);
    return lines.join(QLatin1Char('\n')).trimmed();
}

} // namespace

bool isReportPageName(const QString& name) {
    return name.endsWith(QLatin1String(".dwg.htm"), Qt::CaseInsensitive);
}

IndexCompile compileIndex(const QString& compiler, const QString& folder,
                          const QString& indexName) {
    IndexCompile result;
    result.indexPath = inFolder(folder, indexName);
    const QString output = inFolder(folder, QLatin1String(kCompilerOutput));
    const auto failed = [&](const QString& why) {
        result.message = QString::fromLatin1(kNotCreated).arg(result.indexPath);
        if (!why.isEmpty())
            result.message += QLatin1Char('\n') + why;
        return result;
    };

    // A hhctest.chm left by an earlier run must not pass for this run's work.
    const std::optional<FileStamp> before = stampOf(output);
    QString compilerSaid;
    const QString argument =
        QLatin1Char('"') + inFolder(folder, QStringLiteral("index.htm")) + QLatin1Char('"');
    if (!RunProgram(compiler, argument, true, SwMinimize, &compilerSaid))
        return failed(QString::fromLatin1(kCannotStart).arg(compiler));
    const std::optional<FileStamp> after = stampOf(output);
    if (!after || after == before)
        return failed(lastLines(compilerSaid));

    // One step: the earlier index stays whole until the new one takes its name.
    if (std::rename(native(output).c_str(), native(result.indexPath).c_str()) != 0)
        return failed(systemText(errno));
    result.ok = true;
    return result;
}

IndexCleanup cleanUpIndexFolder(const QString& folder, bool pictures, bool pages) {
    IndexCleanup result;
    if (!pictures && !pages)
        return result;
    const FolderListing listing = listFolder(native(folder), "*.htm");
    if (!listing.ok) {
        result.ok = false;
        result.failedPath = folder;
        result.reason = QString::fromLocal8Bit(listing.error.c_str());
        return result;
    }
    QStringList ours;
    for (const std::string& entry : listing.names) {
        const QString name = QFile::decodeName(QByteArray::fromStdString(entry));
        // The index pages are exactly the names the page writer gives; "Index.HTM" is not one.
        const bool indexPage = std::any_of(std::begin(kIndexPages), std::end(kIndexPages),
                                           [&](const char* p) { return name == QLatin1String(p); });
        if (isReportPageName(name) || indexPage)
            ours << name;
    }
    if (pictures) {
        for (const QString& name : ours) {
            if (isReportPageName(name))
                ::unlink(native(inFolder(folder, reportImageName(name))).c_str());
        }
    }
    if (pages) {
        for (const QString& name : ours) {
            const QString path = inFolder(folder, name);
            if (::unlink(native(path).c_str()) != 0 && errno != ENOENT) {
                result.ok = false;
                result.failedPath = path;
                result.reason = systemText(errno);
                return result;
            }
        }
    }
    return result;
}

} // namespace kvx
