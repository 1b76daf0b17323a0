#pragma once
// A string as one word of a POSIX shell command: in single quotes, each quote inside spelt '\''.
// For the tests and benchmarks that run command-line tools on generated paths.

#include <string>

namespace kvxtest {

inline std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace kvxtest
