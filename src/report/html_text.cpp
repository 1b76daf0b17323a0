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
    // A browser strips blanks from both ends of a link and drops tabs and line breaks
    // anywhere in it: those are encoded, like every other control byte.
    const std::size_t firstKept = fileName.find_first_not_of(' ');
    const std::size_t lastKept = fileName.find_last_not_of(' ');
    std::string out;
    std::size_t i = 0;
    while (i < fileName.size()) {
        const char c = fileName[i];
        const auto b = static_cast<unsigned char>(c);
        const std::size_t n = utf8SequenceLength(fileName, i);
        const bool endBlank = c == ' ' && (i < firstKept || i > lastKept);
        if (n == 0 || b < 0x20 || b == 0x7F || endBlank || c == '%' || c == '#' || c == '?' ||
            c == ':' || c == '\\') {
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
