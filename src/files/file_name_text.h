#pragma once
// File names as the file system gives them (bytes, often UTF-8, sometimes Latin-1 from old
// archives) and as the window shows them. Files are always reached through the bytes; the
// text is for showing only.

#include "files/text_encoding.h"

#include <QString>
#include <string>

namespace kvx {

// A name or path shown as file managers show it: shownName's rule, every byte that is not
// UTF-8 as U+FFFD. Two names may show alike; the bytes still tell them apart.
QString displayName(const std::string& bytes);

// The bytes for a name or path typed or built as text (a setting, a desktop folder).
std::string nativeName(const QString& text);

} // namespace kvx
