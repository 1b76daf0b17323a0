#include "index/index_build.h"

#include "files/file_name_text.h"
#include "files/paths.h"
#include "files/report_names.h"
#include "index/index_pages.h"

#include <QScopeGuard>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx {

namespace {

const char* const kCompilerOutput = "hhctest.chm";
const char* const kNotCreated = "The index file %1 could not be created.";
const char* const kCannotStart = "The help compiler %1 cannot be started.";
// How often a compile waiting for another copy's to end tries again.
constexpr int kTurnRetryMs = 250;
// The compiler's last words are the ones that say what went wrong.
constexpr int kCompilerLines = 10;

QString systemText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

QString lastLines(const QString& text) {
    QStringList lines = text.trimmed().split(QLatin1Char('\n'));
    if (lines.size() > kCompilerLines)
        lines = lines.mid(lines.size() - kCompilerLines);
    return lines.join(QLatin1Char('\n')).trimmed();
}

} // namespace

bool IndexCompiler::FileStamp::operator==(const FileStamp& o) const {
    return device == o.device && inode == o.inode && size == o.size && seconds == o.seconds &&
           nanoseconds == o.nanoseconds;
}

std::optional<IndexCompiler::FileStamp> IndexCompiler::stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileStamp{st.st_dev, st.st_ino, st.st_size, static_cast<long>(st.st_mtim.tv_sec),
                     static_cast<long>(st.st_mtim.tv_nsec)};
}

IndexCompiler::IndexCompiler(const QString& compiler, const std::string& folder,
                             const QString& indexName, const std::string& work)
    : m_compiler(compiler), m_folder(folder), m_work(work),
      m_indexPath(joinPath(folder, nativeName(indexName))),
      m_output(joinPath(folder, kCompilerOutput)), m_page(joinPath(folder, "index.htm")) {
    connect(&m_run, &ProgramRun::finished, this, &IndexCompiler::finished);
    m_turnRetry.setInterval(kTurnRetryMs);
    connect(&m_turnRetry, &QTimer::timeout, this, [this] {
        if (!tryStart() || !m_waitingTurn)
            m_turnRetry.stop();
        if (!m_waitingTurn && !m_run.running())
            emit finished(); // could not be started after all
    });
}

bool IndexCompiler::start() {
    if (!tryStart())
        return false;
    if (m_waitingTurn)
        m_turnRetry.start();
    return true;
}

bool IndexCompiler::tryStart() {
    std::string error;
    switch (m_turn.tryTake(m_folder, kCompilerOutput, error, m_work)) {
    case FolderTurn::Outcome::Busy:
        m_waitingTurn = true;
        return true;
    case FolderTurn::Outcome::Failed:
        m_waitingTurn = false;
        m_turnError = displayName(error);
        return false;
    case FolderTurn::Outcome::Taken:
        break;
    }
    m_waitingTurn = false;
    return launch();
}

bool IndexCompiler::launch() {
    // A hhctest.chm left by an earlier run must not pass for this run's work.
    m_before = stampOf(m_output);
    ProgramCall call = callOnFile(m_compiler, m_page, true);
    // The compiler works under our marker and turn rather than waiting for them.
    QString held = QString::fromStdString(FolderTurn::nameFor(kCompilerOutput));
    if (!m_work.empty())
        held += QLatin1Char(' ') + QString::fromStdString(m_work);
    call.environment.emplace_back(QString::fromLatin1(kInheritedWorkVariable), held);
    m_started = m_run.start(call, SwMinimize, true);
    return m_started;
}

void IndexCompiler::terminate() {
    m_ended = true;
    if (m_waitingTurn) {
        m_waitingTurn = false;
        m_turnRetry.stop();
        QTimer::singleShot(0, this, &IndexCompiler::finished);
    }
    m_run.terminate();
}

void IndexCompiler::kill() {
    terminate();
    m_run.kill();
}

IndexCompile IndexCompiler::failed(const QString& why) const {
    IndexCompile result;
    result.indexFile = m_indexPath;
    result.message = QString::fromLatin1(kNotCreated).arg(displayName(m_indexPath));
    if (!why.isEmpty())
        result.message += QLatin1Char('\n') + why;
    return result;
}

IndexCompile IndexCompiler::result() {
    // The turn goes once the output is renamed or removed.
    const auto releaseTurn = qScopeGuard([this] { m_turn.release(); });
    if (!m_turnError.isEmpty())
        return failed(m_turnError);
    if (m_ended && !m_started)
        return failed(QString());
    if (!m_started)
        return failed(QString::fromLatin1(kCannotStart).arg(m_compiler));
    if (m_ended)
        return failed(QString());
    const std::optional<FileStamp> after = stampOf(m_output);
    const bool written = after && !(after == m_before);
    if (!written || !m_run.succeeded()) {
        // A compiler that says it failed may still leave a file; it is no index.
        if (written)
            ::unlink(m_output.c_str());
        return failed(lastLines(m_run.errorOutput()));
    }
    // One step: the earlier index stays whole until the new one takes its name.
    if (std::rename(m_output.c_str(), m_indexPath.c_str()) != 0) {
        const int err = errno;
        // The error says the index was not made; the compiler's output does not stay behind.
        ::unlink(m_output.c_str());
        return failed(systemText(err));
    }
    IndexCompile result;
    result.ok = true;
    result.indexFile = m_indexPath;
    return result;
}

IndexCleanup cleanUpIndexFolder(const std::string& folder, const NameList& reports, bool pictures,
                                bool pages) {
    IndexCleanup result;
    // A page of the user's own that the list showed ("notes.htm") is no report of ours.
    if (pictures) {
        for (const std::string_view each : reports) {
            const std::string name(each);
            if (isReportPageName(name))
                ::unlink(joinPath(folder, reportImageName(name)).c_str());
        }
    }
    if (!pages)
        return result;
    const auto remove = [&](const std::string& name) {
        const std::string path = joinPath(folder, name);
        if (::unlink(path.c_str()) == 0 || errno == ENOENT)
            return true;
        result.ok = false;
        result.failedPath = displayName(path);
        result.reason = systemText(errno);
        return false;
    };
    for (const std::string_view each : reports) {
        const std::string name(each);
        if (isReportPageName(name) && !remove(name))
            return result;
    }
    for (const char* page : kIndexPages) {
        if (!remove(page))
            return result;
    }
    return result;
}

} // namespace kvx
