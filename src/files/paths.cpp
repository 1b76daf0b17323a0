#include "files/paths.h"

namespace kvx {

std::string joinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string unquoted(const std::string& argument) {
    if (argument.size() >= 2 && argument.front() == '"' && argument.back() == '"')
        return argument.substr(1, argument.size() - 2);
    return argument;
}

std::string shownName(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) {
            static const char* const hex = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace kvx
