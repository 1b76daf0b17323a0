#pragma once
// Case of ASCII letters, whatever the locale: names and keys are bytes, and only A-Z fold to
// a-z (a Latin-1 locale's tolower would fold other bytes too). No Qt.

#include <cstddef>
#include <string>
#include <string_view>

namespace kvx {

constexpr char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string lowerAscii(std::string s) {
    for (char& c : s)
        c = lowerAscii(c);
    return s;
}

inline bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

inline bool endsWithIgnoringAsciiCase(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() &&
           equalIgnoringAsciiCase(s.substr(s.size() - tail.size()), tail);
}

} // namespace kvx
