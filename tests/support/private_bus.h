#pragma once
// A session bus of the test's own that activates services from one folder. Start it before
// anything touches the session bus; activated programs get the environment of that moment.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

class PrivateBus {
public:
    explicit PrivateBus(const QString& serviceDir) {
        const QString config = m_dir.path() + "/bus.conf";
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>unix:dir=" +
                m_dir.path().toUtf8() + "</listen><servicedir>" + serviceDir.toUtf8() +
                "</servicedir><auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                "<allow own=\"*\"/></policy>"
                "<limit name=\"service_start_timeout\">120000</limit></busconfig>\n");
        f.close();
        m_daemon.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address=1"});
        if (!m_daemon.waitForStarted(60000)) // generous: a slow machine
            return;
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(60000)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (!m_address.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    }
    ~PrivateBus() {
        m_daemon.terminate();
        m_daemon.waitForFinished(30000);
    }

    bool running() const {
        return !m_address.isEmpty() && QDBusConnection::sessionBus().isConnected();
    }

    // Rereads the service files.
    static void reload() {
        QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                           "org.freedesktop.DBus", "ReloadConfig"));
    }

    // The process that owns `name`, or 0.
    static uint ownerPid(const QString& name) {
        const auto reply = QDBusConnection::sessionBus().interface()->servicePid(name);
        return reply.isValid() ? reply.value() : 0;
    }

    // Ends the program owning `name` and waits until the name is free.
    static bool stopOwner(const QString& name) {
        if (const uint pid = ownerPid(name))
            ::kill(pid, SIGTERM);
        QDeadlineTimer deadline(60000);
        while (QDBusConnection::sessionBus().interface()->isServiceRegistered(name)) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(20);
        }
        return true;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};
