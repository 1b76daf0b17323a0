#include "files/text_encoding.h"

namespace kvx {

namespace {

// Code page 1252's characters for 0x80 to 0x9F; zero where it defines none.
const std::uint16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Hands each character of well-formed UTF-8 `text` to `take`; false, having stopped, at the
// first malformed sequence or when `take` refuses a character.
template <typename Take> bool eachUtf8Character(std::string_view text, Take take) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8SequenceLength(text, i);
        if (n == 0 || !take(utf8CodePoint(text, i, n)))
            return false;
        i += n;
    }
    return true;
}

} // namespace

std::size_t utf8SequenceLength(std::string_view bytes, std::size_t pos) {
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(pos);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        else if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // beyond U+10FFFF
    } else {
        return 0;
    }
    if (pos + length > bytes.size())
        return 0;
    if (at(pos + 1) < low || at(pos + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (at(pos + i) < 0x80 || at(pos + i) > 0xBF)
            return 0;
    return length;
}

std::uint32_t utf8CodePoint(std::string_view bytes, std::size_t pos, std::size_t length) {
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (length == 1)
        return at(pos);
    std::uint32_t c = at(pos) & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i)
        c = (c << 6) | (at(pos + i) & 0x3Fu);
    return c;
}

char32_t nextUtf8Character(std::string_view utf8, std::size_t& i) {
    const std::size_t n = utf8SequenceLength(utf8, i);
    if (n == 0) {
        ++i;
        return 0xFFFD;
    }
    const char32_t c = utf8CodePoint(utf8, i, n);
    i += n;
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char windows1252Byte(char32_t c) {
    if ((c > 0 && c < 0x80) || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (unsigned k = 0; k < 32; ++k)
        if (kHigh1252[k] != 0 && kHigh1252[k] == c)
            return static_cast<char>(0x80 + k);
    return 0;
}

bool isUtf8(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = utf8SequenceLength(bytes, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string utf8FromWindows1252(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b < 0xA0 && kHigh1252[b - 0x80] != 0)
            appendUtf8(out, kHigh1252[b - 0x80]);
        else
            appendUtf8(out, b);
    }
    return out;
}

std::optional<std::string> windows1252FromUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const bool whole = eachUtf8Character(text, [&out](std::uint32_t c) {
        char b = windows1252Byte(c);
        // NUL stays itself; an undefined byte comes back from the C1 control it was read as.
        if (b == 0 && (c == 0 || (c >= 0x80 && c < 0xA0 && kHigh1252[c - 0x80] == 0)))
            b = static_cast<char>(c);
        else if (b == 0)
            return false;
        out += b;
        return true;
    });
    if (!whole)
        return std::nullopt;
    return out;
}

std::optional<std::string> utf8FromUtf16le(const std::string& bytes) {
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    out.reserve(bytes.size() / 2);
    const auto unit = [&bytes](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xDC00 && c <= 0xDFFF)
            return std::nullopt;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 3 >= bytes.size())
                return std::nullopt;
            const std::uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF)
                return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::optional<std::string> utf16leFromUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    const auto put = [&out](std::uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    const bool whole = eachUtf8Character(text, [&put](std::uint32_t c) {
        if (c < 0x10000) {
            put(c);
        } else {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
        return true;
    });
    if (!whole)
        return std::nullopt;
    return out;
}

} // namespace kvx
