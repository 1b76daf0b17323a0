#include "index/index_name.h"

namespace kvx {

bool indexNameAccepted(bool autoName, const QString& typed) {
    return autoName || (!typed.isEmpty() && !typed.contains(QLatin1Char('/')));
}

QString indexFileName(bool autoName, const QString& folder, const QString& typed) {
    if (!autoName)
        return typed + QStringLiteral(".chm");
    QString name = folder;
    for (QChar& c : name) {
        if (c == QLatin1Char(':') || c == QLatin1Char('/') || c == QLatin1Char('\\'))
            c = QLatin1Char('_');
    }
    return name + QStringLiteral(".chm");
}

} // namespace kvx
