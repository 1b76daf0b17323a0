#include "report/html_text.h"

#include <QList>

namespace kvx {

namespace {

void appendEscaped(std::string& out, char32_t c) {
    switch (c) {
    case '&':
        out += "&amp;";
        return;
    case '<':
        out += "&lt;";
        return;
    case '>':
        out += "&gt;";
        return;
    case '"':
        out += "&quot;";
        return;
    default:
        break;
    }
    if (c < 0x80)
        out += static_cast<char>(c);
    else
        out += "&#" + std::to_string(static_cast<std::uint32_t>(c)) + ";";
}

} // namespace

std::string htmlText(const QString& text) {
    std::string out;
    for (char32_t c : text.toUcs4())
        appendEscaped(out, c);
    return out;
}

std::string htmlSrc(const QString& fileName) {
    QString encoded;
    for (QChar c : fileName) {
        if (c == QLatin1Char('%'))
            encoded += QLatin1String("%25");
        else if (c == QLatin1Char('#'))
            encoded += QLatin1String("%23");
        else if (c == QLatin1Char('?'))
            encoded += QLatin1String("%3F");
        else
            encoded += c;
    }
    return htmlText(encoded);
}

} // namespace kvx
