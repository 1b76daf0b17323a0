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

// A name as a message may show it: control bytes become "\xNN", so no name can drive the
// terminal it is printed on.
std::string shownName(const std::string& name);

} // namespace kvx
