#include "index/index_build.h"

#include "drawing/file_name_text.h"
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
#include <vector>

namespace kvx {

namespace {

const char* const kCompilerOutput = "hhctest.chm";
const char* const kNotCreated = "The index file %1 could not be created.";
const char* const kCannotStart = "The help compiler %1 cannot be started.";
// The compiler's last words are the ones that say what went wrong.
constexpr int kCompilerLines = 10;

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

std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
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

IndexCompile compileIndex(const QString& compiler, const std::string& folder,
                          const QString& indexName) {
    IndexCompile result;
    const std::string indexPath = joinPath(folder, kvx::nativeName(indexName));
    result.indexFile = indexPath;
    const std::string output = joinPath(folder, kCompilerOutput);
    const auto failed = [&](const QString& why) {
        result.message = QString::fromLatin1(kNotCreated).arg(displayName(indexPath));
        if (!why.isEmpty())
            result.message += QLatin1Char('\n') + why;
        return result;
    };

    // A hhctest.chm left by an earlier run must not pass for this run's work.
    const std::optional<FileStamp> before = stampOf(output);
    QString compilerSaid;
    if (!runProgramOnFile(compiler, joinPath(folder, "index.htm"), true, true, SwMinimize,
                          &compilerSaid))
        return failed(QString::fromLatin1(kCannotStart).arg(compiler));
    const std::optional<FileStamp> after = stampOf(output);
    if (!after || after == before)
        return failed(lastLines(compilerSaid));

    // One step: the earlier index stays whole until the new one takes its name.
    if (std::rename(output.c_str(), indexPath.c_str()) != 0)
        return failed(systemText(errno));
    result.ok = true;
    return result;
}

IndexCleanup cleanUpIndexFolder(const std::string& folder, bool pictures, bool pages) {
    IndexCleanup result;
    if (!pictures && !pages)
        return result;
    const FolderListing listing = listFolder(folder, "*.htm");
    if (!listing.ok) {
        result.ok = false;
        result.failedPath = displayName(folder);
        result.reason = QString::fromLocal8Bit(listing.error.c_str());
        return result;
    }
    // Names as bytes: a name that is not UTF-8 is still reached.
    const auto isReport = [](const std::string& name) {
        return isReportPageName(displayName(name));
    };
    std::vector<std::string> ours;
    for (const std::string& name : listing.names) {
        // The index pages are exactly the names the page writer gives; "Index.HTM" is not one.
        const bool indexPage = std::any_of(std::begin(kIndexPages), std::end(kIndexPages),
                                           [&](const char* p) { return name == p; });
        if (isReport(name) || indexPage)
            ours.push_back(name);
    }
    if (pictures) {
        for (const std::string& name : ours) {
            if (isReport(name))
                ::unlink(joinPath(folder, reportImageName(name)).c_str());
        }
    }
    if (pages) {
        for (const std::string& name : ours) {
            const std::string path = joinPath(folder, name);
            if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
                result.ok = false;
                result.failedPath = displayName(path);
                result.reason = systemText(errno);
                return result;
            }
        }
    }
    return result;
}

} // namespace kvx
