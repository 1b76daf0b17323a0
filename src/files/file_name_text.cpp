#include "files/file_name_text.h"

#include <QFile>

namespace kvx {

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
