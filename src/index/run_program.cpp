#include "index/run_program.h"

#include "drawing/file_name_text.h"
#include "files/paths.h"

#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kvx {

const char* const kShowStateVariable = "KORVENIX_SHOW_STATE";

QString unquotedArgument(const QString& argument) {
    if (argument.size() >= 2 && argument.startsWith(QLatin1Char('"')) &&
        argument.endsWith(QLatin1Char('"')))
        return argument.mid(1, argument.size() - 2);
    return argument;
}

} // namespace kvx

namespace {
constexpr qsizetype kKeptErrorBytes = 64 * 1024;

// Makes `folder` (bytes) the working folder until release(), for a child started meanwhile to
// inherit: QProcess takes a working folder only as text.
class WorkingFolderSwitch {
public:
    explicit WorkingFolderSwitch(const std::string& folder) {
        if (folder.empty()) {
            m_ok = true;
            return;
        }
        m_back = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int there = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        m_ok = m_back >= 0 && there >= 0 && ::fchdir(there) == 0;
        if (there >= 0)
            ::close(there);
    }
    ~WorkingFolderSwitch() { release(); }
    bool ok() const { return m_ok; }
    void release() {
        if (m_back < 0)
            return;
        if (m_ok && ::fchdir(m_back) != 0)
            std::perror("korvenix31: cannot return to the working folder");
        ::close(m_back);
        m_back = -1;
    }

private:
    int m_back = -1;
    bool m_ok = false;
};

} // namespace

bool RunProgram(const QString& program, const QString& argument, bool wait, int showState,
                QString* errorOutput, const std::string& workingFolder) {
    QProcess process;
    process.setProgram(program);
    process.setArguments({kvx::unquotedArgument(argument)});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kvx::kShowStateVariable), QString::number(showState));
    process.setProcessEnvironment(env);

    WorkingFolderSwitch folder(workingFolder);
    if (!folder.ok())
        return false;
    if (!wait) {
        // Started through an intermediate process that exits at once: the program belongs
        // to no one here, so it outlives us and never becomes our zombie.
        return process.startDetached();
    }

    // The program writes to our own terminal, as a started program would.
    process.setProcessChannelMode(errorOutput ? QProcess::ForwardedOutputChannel
                                              : QProcess::ForwardedChannels);
    QByteArray errors;
    const auto takeErrors = [&] {
        const QByteArray chunk = process.readAllStandardError();
        std::fwrite(chunk.constData(), 1, static_cast<std::size_t>(chunk.size()), stderr);
        // A talkative program keeps only its last words.
        errors = (errors + chunk).right(kKeptErrorBytes);
    };
    if (errorOutput)
        QObject::connect(&process, &QProcess::readyReadStandardError, &process, takeErrors);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            loop.quit();
    });
    process.start();
    folder.release(); // the child has its own working folder from here on
    if (!process.waitForStarted(-1))
        return false;
    // Woken by the exit itself (SIGCHLD), never by polling; events run meanwhile.
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    if (errorOutput) {
        takeErrors();
        *errorOutput = QString::fromLocal8Bit(errors);
    }
    return true;
}

namespace kvx {

bool runProgramOnFile(const QString& program, const std::string& file, bool quoted, bool wait,
                      int showState, QString* errorOutput) {
    const QString path = displayName(file);
    const bool asText = nativeName(path) == file;
    QString argument = asText ? path : displayName(baseNameOf(file));
    if (quoted)
        argument = QLatin1Char('"') + argument + QLatin1Char('"');
    return RunProgram(program, argument, wait, showState, errorOutput,
                      asText ? std::string() : folderOf(file));
}

} // namespace kvx
