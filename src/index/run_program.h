#pragma once
// Starting an outside program (the help compiler, the help viewer) with one argument, and
// waiting for it while the program's windows stay live.

#include <QString>
#include <string>

namespace kvx {

// Window show states a caller may ask for; our own tools take them as a hint only.
enum ShowState : int {
    SwShowMaximized = 3,
    SwMinimize = 6,
};

// The environment variable that carries the show state to the started program.
extern const char* const kShowStateVariable; // "KORVENIX_SHOW_STATE"

// The argument as the program receives it: one pair of surrounding double quotes is
// removed, since the program and its argument travel separately and no shell undoes them.
QString unquotedArgument(const QString& argument);

} // namespace kvx

// Starts `program` with the single argument `argument` (unquoted as above), in `workingFolder`
// when one is given (the folder's bytes: the started program sees exactly that folder, whatever
// its name), else in the current working folder, and with the current environment plus the
// show state. Returns false, with nothing shown, when the program cannot be started.
// wait: returns when the program has exited, however long it ran; the event loop runs
// meanwhile, so windows repaint and take input.
// no wait: returns at once; the program runs on by itself, is not ended when we exit, and
// leaves no zombie behind.
// errorOutput (wait only): receives what the program wrote on its standard error, which
// still reaches ours as well.
bool RunProgram(const QString& program, const QString& argument, bool wait, int showState,
                QString* errorOutput = nullptr, const std::string& workingFolder = std::string());

namespace kvx {

// RunProgram on one file, `file` being its path as the file system gives it. The argument is
// the path (in double quotes when `quoted`); a path that text cannot carry (a name that is not
// UTF-8) goes as the bare file name, run in the file's folder.
bool runProgramOnFile(const QString& program, const std::string& file, bool quoted, bool wait,
                      int showState, QString* errorOutput = nullptr);

} // namespace kvx
