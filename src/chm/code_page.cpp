#include "chm/code_page.h"

namespace kvx::chm {

namespace {

// Windows-1252's bytes 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

char32_t nextCharacter(std::string_view s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i++]);
    if (b < 0x80)
        return b;
    const int more = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : -1;
    if (more < 0 || i + static_cast<std::size_t>(more) > s.size())
        return 0xFFFD;
    char32_t c = b & (0x3F >> more);
    for (int k = 0; k < more; ++k) {
        const auto next = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((next & 0xC0) != 0x80)
            return 0xFFFD;
        c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are no characters.
    if ((more == 2 && c < 0x800) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF))
        return 0xFFFD;
    i += static_cast<std::size_t>(more);
    return c;
}

char windows1252Byte(char32_t c) {
    if ((c > 0 && c < 0x80) || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] != 0 && kHigh[k] == c)
            return static_cast<char>(0x80 + k);
    return 0;
}

std::string windows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char byte = windows1252Byte(nextCharacter(utf8, i));
        out += byte ? byte : '?';
    }
    return out;
}

} // namespace kvx::chm
