#pragma once
// The entry that starts the program in the notification area when the user logs on: the
// user's own autostart file $XDG_CONFIG_HOME/autostart/korvenix31.desktop (default
// ~/.config/autostart), which the user can always write, unlike the system-wide folder.
// It exists while the "start" setting is "1". No Qt.

#include <string>

namespace kvx {

// The name the entry goes by, and the value name its write error reports.
extern const char* const kStartupEntryName; // "Korvenix 3.1"

// Where the entry lives for the current environment.
std::string startupEntryPath();

// One argument as the Exec key of a desktop entry needs it: in double quotes, with a
// backslash before each " ` $ and backslash, when it holds a blank or another reserved
// character; then escaped as a string value (a backslash doubled, a line break as \n) and
// with each % doubled.
std::string desktopExecArgument(const std::string& argument);

// The whole entry file for the program at `programPath` (absolute), started with " -w".
std::string startupEntryText(const std::string& programPath);

// Writes the entry atomically, creating its "autostart" folder (and the configuration folder
// above it) when missing, as on many fresh accounts. Throws SettingsWriteError for
// "Korvenix 3.1" when the folder cannot be written.
void writeStartupEntry(const std::string& programPath);

// Removes the entry. An entry that is not there is no failure; false means an existing
// entry could not be removed (callers ignore it, as the delete of a missing value).
bool deleteStartupEntry();

} // namespace kvx
