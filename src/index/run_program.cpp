#include "index/run_program.h"

#include "files/file_name_text.h"
#include "files/paths.h"

#include <QProcessEnvironment>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace kvx {

const char* const kShowStateVariable = "KORVENIX_SHOW_STATE";

namespace {

// The argument as the program receives it, with kvx::unquoted's rule.
QString unquotedArgument(const QString& argument) {
    return QString::fromUtf8(unquoted(argument.toUtf8().toStdString()).c_str());
}

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

void prepare(QProcess& process, const ProgramCall& call, int showState) {
    process.setProgram(call.program);
    process.setArguments({unquotedArgument(call.argument)});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kShowStateVariable), QString::number(showState));
    for (const auto& [name, value] : call.environment)
        env.insert(name, value);
    process.setProcessEnvironment(env);
}

} // namespace

ProgramCall callOnFile(const QString& program, const std::string& file, bool quoted) {
    // The path itself, not as a message shows it: every character goes through.
    const QString path = QString::fromUtf8(file.data(), static_cast<qsizetype>(file.size()));
    const bool asText = nativeName(path) == file;
    QString argument = asText ? path : QString::fromUtf8(baseNameOf(file).c_str());
    if (quoted)
        argument = QLatin1Char('"') + argument + QLatin1Char('"');
    return {program, argument, asText ? std::string() : folderOf(file), {}};
}

ProgramRun::ProgramRun(QObject* parent) : QObject(parent) {
    connect(&m_process, &QProcess::finished, this, &ProgramRun::finished);
}

ProgramRun::~ProgramRun() {
    // Never left running behind a caller that has gone.
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(-1);
    }
}

bool ProgramRun::start(const ProgramCall& call, int showState, bool keepErrors) {
    prepare(m_process, call, showState);
    m_keepErrors = keepErrors;
    // The program writes to our own terminal, as a started program would.
    m_process.setProcessChannelMode(keepErrors ? QProcess::ForwardedOutputChannel
                                               : QProcess::ForwardedChannels);
    if (keepErrors)
        connect(&m_process, &QProcess::readyReadStandardError, this, &ProgramRun::takeErrors);
    m_process.setInputChannelMode(QProcess::ForwardedInputChannel);
    // A program we wait for is of no use once we are gone, killed or crashed: it ends with us.
    // The kernel sends the signal when the thread that forked ends; every run starts from the
    // main thread, which lasts as long as we do.
    const pid_t parent = ::getpid();
    m_process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // We ended before the request took hold: no signal will come.
        if (::getppid() != parent)
            ::_exit(127);
    });
    WorkingFolderSwitch folder(call.workingFolder);
    if (!folder.ok())
        return false;
    m_process.start();
    folder.release(); // the child has its own working folder from here on
    return m_process.waitForStarted(-1);
}

bool ProgramRun::running() const {
    return m_process.state() != QProcess::NotRunning;
}

void ProgramRun::terminate() {
    m_process.terminate();
}

void ProgramRun::kill() {
    m_process.kill();
}

bool ProgramRun::succeeded() const {
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QString ProgramRun::errorOutput() const {
    const_cast<ProgramRun*>(this)->takeErrors();
    return QString::fromLocal8Bit(m_errors);
}

void ProgramRun::takeErrors() {
    if (!m_keepErrors)
        return;
    const QByteArray chunk = m_process.readAllStandardError();
    std::fwrite(chunk.constData(), 1, static_cast<std::size_t>(chunk.size()), stderr);
    // A talkative program keeps only its last words.
    m_errors = (m_errors + chunk).right(kKeptErrorBytes);
}

bool startDetached(const ProgramCall& call, int showState) {
    QProcess process;
    prepare(process, call, showState);
    WorkingFolderSwitch folder(call.workingFolder);
    // Started through an intermediate process that exits at once: the program belongs to no
    // one here, so it outlives us and never becomes our zombie.
    return folder.ok() && process.startDetached();
}

bool runProgramOnFile(const QString& program, const std::string& file, const RunOptions& options) {
    return startDetached(callOnFile(program, file, options.quoted), options.showState);
}

} // namespace kvx
