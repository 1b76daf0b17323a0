#include "app/settings/startup_entry.h"

#include "app/settings/settings_errors.h"
#include "files/atomic_file.h"
#include "files/paths.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx {

const char* const kStartupEntryName = "Korvenix 3.1";

namespace {

std::string firstConfigDir() {
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    if (dirs != nullptr) {
        // Empty and relative entries are not folders by the base directory rules.
        const std::string all = dirs;
        for (std::size_t start = 0; start <= all.size();) {
            const std::size_t colon = all.find(':', start);
            const std::size_t end = colon == std::string::npos ? all.size() : colon;
            const std::string dir = all.substr(start, end - start);
            if (!dir.empty() && dir[0] == '/')
                return dir;
            if (colon == std::string::npos)
                break;
            start = colon + 1;
        }
    }
    return "/etc/xdg";
}

std::string entryFolder() {
    return joinPath(firstConfigDir(), "autostart");
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
    // The configuration folder itself must exist; only its "autostart" folder is made.
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
        throw SettingsWriteError(kStartupEntryName);
    std::string problem;
    if (!replaceFileAtomically(startupEntryPath(), startupEntryText(programPath), 0644, problem))
        throw SettingsWriteError(kStartupEntryName);
}

bool deleteStartupEntry() {
    return ::unlink(startupEntryPath().c_str()) == 0 || errno == ENOENT;
}

} // namespace kvx
