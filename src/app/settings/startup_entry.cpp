#include "app/settings/startup_entry.h"

#include "app/settings/registry_key.h"
#include "app/settings/settings_errors.h"
#include "files/atomic_file.h"
#include "files/paths.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx {

const char* const kStartupEntryName = "Korvenix 3.1";

namespace {

std::string entryFolder() {
    return userConfigPath("autostart");
}

// Makes `folder` with `mode` unless it is there; false when it is missing and cannot be made.
bool makeFolder(const std::string& folder, mode_t mode) {
    return ::mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

} // namespace

std::string startupEntryPath() {
    return joinPath(entryFolder(), "korvenix31.desktop");
}

std::string desktopExecArgument(const std::string& argument) {
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string arg = argument;
    if (arg.empty() || arg.find_first_of(reserved) != std::string::npos) {
        std::string quoted = "\"";
        for (char c : arg) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        arg = quoted + "\"";
    }
    std::string out;
    for (char c : arg) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '%')
            out += "%%";
        else
            out += c;
    }
    return out;
}

std::string startupEntryText(const std::string& programPath) {
    return std::string("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=") +
           kStartupEntryName + "\n" + "Exec=" + desktopExecArgument(programPath) + " -w\n" +
           "Icon=korvenix31\n"
           "Terminal=false\n";
}

void writeStartupEntry(const std::string& programPath) {
    const std::string folder = entryFolder();
    // The configuration folder is private to its user, as the base directory rules want;
    // anything above it is the account's own and never made here.
    if (!makeFolder(folderOf(folder), 0700) || !makeFolder(folder, 0755))
        throw SettingsWriteError(kStartupEntryName);
    std::string problem;
    if (!replaceFileAtomically(startupEntryPath(), startupEntryText(programPath), 0644, problem))
        throw SettingsWriteError(kStartupEntryName);
}

bool deleteStartupEntry() {
    return ::unlink(startupEntryPath().c_str()) == 0 || errno == ENOENT;
}

} // namespace kvx
