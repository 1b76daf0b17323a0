#pragma once
// A private settings hive and autostart folder for window tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class SettingsFixture {
public:
    // `values`: REGEDIT4 value lines of the settings key; a null array leaves no hive.
    explicit SettingsFixture(const QByteArray& values = defaultValues()) {
        qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
        qputenv("XDG_CONFIG_DIRS", systemConfig().toUtf8());
        // The folder tree starts on a desktop of our own.
        qputenv("XDG_DESKTOP_DIR", desktop().toUtf8());
        QDir().mkpath(desktop());
        QDir().mkpath(configHome() + "/Stalwen");
        QDir().mkpath(systemConfig());
        if (!values.isNull())
            writeHive("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n" +
                      values);
    }

    static QByteArray defaultValues() {
        return "\"autoname\"=dword:00000000\r\n\"bigimage\"=dword:00000000\r\n";
    }

    QString desktop() const { return m_dir.path() + "/desktop"; }
    QString configHome() const { return m_dir.path() + "/config"; }
    QString systemConfig() const { return m_dir.path() + "/xdg"; }
    QString hivePath() const { return configHome() + "/Stalwen/Korvenix31.reg"; }
    QString autostartEntry() const { return configHome() + "/autostart/korvenix31.desktop"; }

    void writeHive(const QByteArray& bytes) const {
        QFile f(hivePath());
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
    }
    QByteArray hive() const {
        QFile f(hivePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};
