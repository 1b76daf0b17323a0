#pragma once
// The code page of the texts a compiled file carries for its readers to show (titles in
// #STRINGS, the help title): Windows-1252, the code page of the file's language (French).
// Plain C++, no Qt.

#include <string>
#include <string_view>

namespace kvx::chm {

// `utf8` in Windows-1252; a character the code page lacks, or a byte that is not UTF-8,
// becomes '?'.
std::string windows1252(std::string_view utf8);

// The Windows-1252 byte of `c`, or 0 when the code page lacks it.
char windows1252Byte(char32_t c);

// The next character of `utf8` from `i` (moved past it), or U+FFFD for a byte that starts no
// well-formed sequence.
char32_t nextCharacter(std::string_view utf8, std::size_t& i);

} // namespace kvx::chm
