#pragma once
// Starting an outside program (the help compiler, the help viewer) with one argument: let go
// at once, or kept as a ProgramRun whose end the caller waits for in its own event loop.

#include <QObject>
#include <QProcess>
#include <QString>
#include <string>
#include <utility>
#include <vector>

namespace kvx {

// Window show states a caller may ask for; our own tools take them as a hint only.
enum ShowState : int {
    SwShowMaximized = 3,
    SwMinimize = 6,
};

// The environment variable that carries the show state to the started program.
extern const char* const kShowStateVariable; // "KORVENIX_SHOW_STATE"

// What is started: the program, its one argument (one pair of surrounding double quotes is
// removed, since the program and its argument travel separately and no shell undoes them), and
// the folder it runs in (the folder's bytes: the program sees exactly that folder, whatever its
// name; empty: the current working folder).
struct ProgramCall {
    QString program;
    QString argument;
    std::string workingFolder;
    // Variables set for the program on top of our own environment.
    std::vector<std::pair<QString, QString>> environment;
};

struct RunOptions {
    bool quoted = false; // the path goes between double quotes
    int showState = SwShowMaximized;
};

// The call on one file, `file` being its path as the file system gives it. The argument is
// the path; a path that text cannot carry (a name that is not UTF-8) goes as the bare file
// name, run in the file's folder.
ProgramCall callOnFile(const QString& program, const std::string& file, bool quoted);

// A program started and waited for; finished() says when it has ended. It has no event loop
// of its own: whoever waits for it runs one. What it writes goes to our own terminal. It
// ends with us (SIGKILL) if we end first; start it from the main thread only.
class ProgramRun : public QObject {
    Q_OBJECT
public:
    explicit ProgramRun(QObject* parent = nullptr);
    ~ProgramRun() override;

    // False, with nothing shown, when the program cannot be started. keepErrors: what the
    // program writes on its standard error is also kept (its last 64 KiB) for errorOutput().
    bool start(const ProgramCall& call, int showState, bool keepErrors);
    bool running() const;
    // Asks the program to end (SIGTERM), or ends it (SIGKILL).
    void terminate();
    void kill();
    // Once finished: whether it exited by itself with status 0, and what it said.
    bool succeeded() const;
    QString errorOutput() const;

signals:
    void finished();

private:
    void takeErrors();
    QProcess m_process;
    QByteArray m_errors;
    bool m_keepErrors = false;
};

// Starts the call and lets it go: the program outlives us and leaves no zombie behind. False
// when it cannot be started.
bool startDetached(const ProgramCall& call, int showState);

// Starts the program on `file` and lets it go: it outlives us and leaves no zombie behind.
// False when it cannot be started.
bool runProgramOnFile(const QString& program, const std::string& file, const RunOptions& options);

} // namespace kvx
