#include "drawing/desktop_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace kvx {

QString userDirFromText(const QString& text, const QString& key, const QString& home) {
    QString found;
    const QRegularExpression line(QStringLiteral("^\\s*%1\\s*=\\s*\"(.*)\"\\s*$")
                                      .arg(QRegularExpression::escape(key)));
    for (const QString& l : text.split(QLatin1Char('\n'))) {
        const auto m = line.match(l);
        if (!m.hasMatch())
            continue;
        QString value = m.captured(1);
        value.replace(QLatin1String("\\\""), QLatin1String("\""));
        if (value.startsWith(QLatin1String("$HOME")))
            value = home + value.mid(5);
        found = value; // the last assignment wins, as when the shell reads the file
    }
    return found;
}

QString desktopFolder() {
    const QString home = QDir::homePath();
    QString desktop = qEnvironmentVariable("XDG_DESKTOP_DIR");
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = home + QStringLiteral("/.config");
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    if (dirs.open(QIODevice::ReadOnly)) {
        const QString fromFile =
            userDirFromText(QString::fromUtf8(dirs.readAll()), QStringLiteral("XDG_DESKTOP_DIR"), home);
        if (!fromFile.isEmpty())
            desktop = fromFile;
    }
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return QDir::cleanPath(desktop);
    if (QFileInfo(home + QStringLiteral("/Desktop")).isDir())
        return home + QStringLiteral("/Desktop");
    return home;
}

} // namespace kvx
