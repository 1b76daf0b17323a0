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

} // namespace kvx::chm
