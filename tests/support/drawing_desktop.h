#pragma once
// XDG folders of the test's own where drawing applications are recording scripts. Build it
// before the private bus, so that what the bus activates sees them. Korvenix's own entry is
// the default for drawings; the bridge must pass it by.

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

class DrawingDesktop {
public:
    explicit DrawingDesktop(const QString& root) : m_root(root) {
        for (const char* var :
             {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) {
            const QString dir = m_root + "/" + QString::fromLatin1(var).toLower();
            QDir().mkpath(dir);
            qputenv(var, dir.toUtf8());
        }
        qunsetenv("XDG_CURRENT_DESKTOP");
        QDir().mkpath(applications());
        QDir().mkpath(m_root + "/bin");
        entry("korvenix31.desktop", "Korvenix 3.1", script("korvenix31"));
        write(applications() + "/mimeapps.list",
              "[Default Applications]\nimage/vnd.dwg=korvenix31.desktop\n");
        removeViewer();
    }

    // A recording drawing viewer; the cache is what update-desktop-database would write.
    void installViewer() {
        entry("kvx-drawing-viewer.desktop", "Drawing viewer", script("record drawing"));
        write(applications() + "/mimeinfo.cache",
              "[MIME Cache]\nimage/vnd.dwg=korvenix31.desktop;kvx-drawing-viewer.desktop;\n");
    }
    void removeViewer() {
        QFile::remove(applications() + "/kvx-drawing-viewer.desktop");
        write(applications() + "/mimeinfo.cache",
              "[MIME Cache]\nimage/vnd.dwg=korvenix31.desktop;\n");
    }

    // "COUNT|FIRST ARGUMENT" for each start of the viewer.
    QStringList viewerStarts() const { return lines(m_root + "/bin/record drawing.log"); }
    bool korvenixStarted() const { return QFile::exists(m_root + "/bin/korvenix31.log"); }

private:
    QString applications() const { return m_root + "/xdg_data_home/applications"; }

    static void write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    }
    static QStringList lines(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)
                   : QStringList();
    }
    QString script(const QString& name) const {
        const QString path = m_root + "/bin/" + name;
        write(path, "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" >> \"$0.log\"\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    void entry(const QString& file, const QString& name, const QString& program) const {
        write(applications() + "/" + file,
              ("[Desktop Entry]\nType=Application\nName=" + name + "\nExec=\"" + program +
               "\" %f\nMimeType=image/vnd.dwg;\n")
                  .toUtf8());
    }

    QString m_root;
};
