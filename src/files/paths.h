#pragma once
// Putting paths together and taking them apart, as bytes: a name is whatever the file system
// gave, valid UTF-8 or not. No Qt: the setup command and the drawing reader link this too.

#include <string>

namespace kvx {

// The folder, one "/" unless it already ends with one, and the name.
std::string joinPath(const std::string& folder, const std::string& name);

// The folder part of a path ("." when there is none, "/" for a name in the root).
std::string folderOf(const std::string& path);

// The last component of a path.
std::string baseNameOf(const std::string& path);

// A command-line argument as its program receives it: one pair of surrounding double quotes
// removed, since no shell takes them off for us.
std::string unquoted(const std::string& argument);

// What shownName makes of bytes that are not UTF-8.
enum class StrayBytes {
    Escaped,  // "\xNN", as a terminal or a log shows them
    Replaced, // U+FFFD, as file managers show them in a window
};

// A name, a path or any text taken from outside as a message, a terminal or the window shows
// it: UTF-8 characters as they read, but control characters (C0, DEL, C1), the line and
// paragraph separators and the bidirectional controls (U+061C, U+200E, U+200F, U+202A to
// U+202E, U+2066 to U+2069) as "\xNN" for each of their bytes. So no name can drive the
// terminal it is printed on, break a message's line, or turn the text around it ("x", U+202E,
// "gpj.exe" shows as "x\xE2\x80\xAEgpj.exe", not "xexe.jpg"). The one rule for every text
// of a name shown to a person.
std::string shownName(const std::string& name, StrayBytes stray = StrayBytes::Escaped);

} // namespace kvx
