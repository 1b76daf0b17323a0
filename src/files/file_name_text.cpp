#include "files/file_name_text.h"

#include "files/paths.h"

#include <QFile>

namespace kvx {

QString displayName(const std::string& bytes) {
    return QString::fromUtf8(shownName(bytes, StrayBytes::Replaced));
}

std::string nativeName(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

} // namespace kvx
