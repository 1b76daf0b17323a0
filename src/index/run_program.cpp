#include "index/run_program.h"

#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <cstdio>

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
} // namespace

bool RunProgram(const QString& program, const QString& argument, bool wait, int showState,
                QString* errorOutput) {
    QProcess process;
    process.setProgram(program);
    process.setArguments({kvx::unquotedArgument(argument)});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kvx::kShowStateVariable), QString::number(showState));
    process.setProcessEnvironment(env);

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
