#include "files/paths.h"

#include "files/text_encoding.h"

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

namespace {

bool shownAsIs(std::uint32_t c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return false;
    switch (c) {
    case 0x061C: // Arabic letter mark
    case 0x200E: // left-to-right mark
    case 0x200F: // right-to-left mark
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return false;
    default:
        // Embeddings, overrides and their end; isolates and their end.
        return !(c >= 0x202A && c <= 0x202E) && !(c >= 0x2066 && c <= 0x2069);
    }
}

void escapeByte(std::string& out, unsigned char c) {
    static const char* const hex = "0123456789ABCDEF";
    out += "\\x";
    out += hex[c >> 4];
    out += hex[c & 0xF];
}

} // namespace

std::string shownName(const std::string& name, StrayBytes stray) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t n = utf8SequenceLength(name, i);
        if (n == 0) {
            if (stray == StrayBytes::Escaped)
                escapeByte(out, static_cast<unsigned char>(name[i]));
            else
                out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (shownAsIs(utf8CodePoint(name, i, n)))
            out.append(name, i, n);
        else
            for (std::size_t k = 0; k < n; ++k)
                escapeByte(out, static_cast<unsigned char>(name[i + k]));
        i += n;
    }
    return out;
}

} // namespace kvx
