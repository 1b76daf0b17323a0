// The runner's command-line form: a program let go, or waited for with the window live.

#include "index/run_program.h"

#include <QEventLoop>

bool RunProgram(const QString& program, const QString& argument, bool wait, int showState,
                QString* errorOutput, const std::string& workingFolder) {
    const kvx::ProgramCall call{program, argument, workingFolder, {}};
    if (!wait)
        return kvx::startDetached(call, showState);
    kvx::ProgramRun run;
    if (!run.start(call, showState, errorOutput != nullptr))
        return false;
    // Woken by the exit itself (SIGCHLD), never by polling; events run meanwhile.
    if (run.running()) {
        QEventLoop loop;
        QObject::connect(&run, &kvx::ProgramRun::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (errorOutput)
        *errorOutput = run.errorOutput();
    return true;
}
