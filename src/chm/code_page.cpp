#include "chm/code_page.h"

#include "files/text_encoding.h"

namespace kvx::chm {

std::string windows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char byte = windows1252Byte(nextUtf8Character(utf8, i));
        out += byte ? byte : '?';
    }
    return out;
}

} // namespace kvx::chm
