#pragma once
// Values written into the program's HTML pages (the drawing report, the index pages). GUI-free.

#include <QString>
#include <string>

namespace kvx {

// Text for an HTML page: & < > " as entities, every character outside ASCII as a numeric
// character reference, so the page reads the same whatever encoding a viewer assumes.
std::string htmlText(const QString& text);

// An img src or a href value: a relative reference to a file beside the page, from the name's
// bytes as the file system gives them. '%', '#', '?', ':' and '\' are percent-encoded (they
// would otherwise start an escape, a fragment, a query or a scheme such as "javascript:", or
// part folders as '/' does), and so are control bytes, DEL, blanks at either end and every byte
// that is not well-formed UTF-8, so that the link finds the file as a browser reads it; the rest
// is made HTML text.
std::string htmlSrc(const std::string& fileName);

} // namespace kvx
