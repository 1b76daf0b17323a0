#include "report/html_text.h"

#include "files/file_name_text.h"

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

std::string htmlSrc(const std::string& fileName) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    std::size_t i = 0;
    while (i < fileName.size()) {
        const char c = fileName[i];
        const std::size_t n = utf8SequenceLength(fileName, i);
        if (n == 0 || c == '%' || c == '#' || c == '?' || c == ':' || c == '\\') {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0x0F];
            ++i;
            continue;
        }
        out += htmlText(QString::fromUtf8(fileName.data() + i, static_cast<qsizetype>(n)));
        i += n;
    }
    return out;
}

} // namespace kvx
