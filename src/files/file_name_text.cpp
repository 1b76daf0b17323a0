#include "files/file_name_text.h"

#include <QFile>

namespace kvx {

std::size_t utf8SequenceLength(const std::string& bytes, std::size_t pos) {
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(pos);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        else if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // beyond U+10FFFF
    } else {
        return 0;
    }
    if (pos + length > bytes.size())
        return 0;
    if (at(pos + 1) < low || at(pos + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (at(pos + i) < 0x80 || at(pos + i) > 0xBF)
            return 0;
    return length;
}

QString displayName(const std::string& bytes) {
    // Runs of well-formed text are converted whole: most names are one such run.
    QString text;
    std::size_t run = 0, i = 0;
    const auto flush = [&](std::size_t end) {
        text += QString::fromUtf8(bytes.data() + run, static_cast<qsizetype>(end - run));
    };
    while (i < bytes.size()) {
        const std::size_t n = utf8SequenceLength(bytes, i);
        if (n != 0) {
            i += n;
            continue;
        }
        flush(i);
        text += QChar(QChar::ReplacementCharacter);
        run = ++i;
    }
    flush(i);
    return text;
}

std::string nativeName(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

} // namespace kvx
