#pragma once
// Values written into the program's HTML pages (the drawing report, the index pages). GUI-free.

#include <QString>
#include <string>

namespace kvx {

// Text for an HTML page: & < > " as entities, every character outside ASCII as a numeric
// character reference, so the page reads the same whatever encoding a viewer assumes.
std::string htmlText(const QString& text);

// An img src value: a relative reference to a file beside the page. '%', '#' and '?' are
// percent-encoded (they would otherwise start an escape, a fragment or a query), then the
// value is made HTML text.
std::string htmlSrc(const QString& fileName);

} // namespace kvx
