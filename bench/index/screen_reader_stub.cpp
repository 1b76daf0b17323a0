// Stands in for a screen reader on the accessibility bus, for accessibility_bench.sh: it asks
// for the events a reader asks for (every object, window and focus event), takes them all, asks
// back about the object each is about, as a reader does before it speaks (its name, role and
// states), and counts them. It prints "ready" once registered and, when it gets SIGTERM, the count
// of each kind of event (most first), then the total on a line of its own.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QSocketNotifier>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>
#include <unistd.h>
#include <vector>

namespace {

int g_stopPipe[2];

class Counter : public QObject {
    Q_OBJECT
public:
    explicit Counter(QDBusConnection bus) : m_bus(std::move(bus)) {}
    long events = 0;
    std::map<QString, long> kinds;
public slots:
    void take(const QDBusMessage& m) {
        ++events;
        const auto ask = [&](const QString& interface, const QString& method,
                             const QVariantList& arguments) {
            QDBusMessage call =
                QDBusMessage::createMethodCall(m.service(), m.path(), interface, method);
            call.setArguments(arguments);
            m_bus.asyncCall(call);
        };
        const QString accessible = QStringLiteral("org.a11y.atspi.Accessible");
        ask(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
            {accessible, QStringLiteral("Name")});
        ask(accessible, QStringLiteral("GetRole"), {});
        ask(accessible, QStringLiteral("GetState"), {});
        const QString detail = m.arguments().value(0).toString();
        ++kinds[m.member() + (detail.isEmpty() ? QString() : ':' + detail)];
    }

private:
    QDBusConnection m_bus;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusInterface launcher(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                            QStringLiteral("org.a11y.Bus"), QDBusConnection::sessionBus());
    const QDBusReply<QString> address = launcher.call(QStringLiteral("GetAddress"));
    if (!address.isValid()) {
        std::fprintf(stderr, "screen_reader_stub: no accessibility bus\n");
        return 1;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(address.value(), QStringLiteral("a11y"));
    Counter counter(bus);
    for (const char* kind : {"Object", "Window", "Focus"})
        bus.connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.") + kind, QString(),
                    &counter, SLOT(take(QDBusMessage)));
    for (const char* event : {"object:", "window:", "focus:"}) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry"),
            QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"));
        call << QString::fromLatin1(event) << QStringList() << QString();
        const QDBusMessage reply = bus.call(call);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            std::fprintf(stderr, "screen_reader_stub: %s\n", qPrintable(reply.errorMessage()));
            return 1;
        }
    }
    if (::pipe(g_stopPipe) != 0)
        return 1;
    std::signal(SIGTERM, [](int) { (void)!::write(g_stopPipe[1], "x", 1); });
    QSocketNotifier stop(g_stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::printf("ready\n");
    std::fflush(stdout);
    app.exec();
    std::vector<std::pair<long, QString>> byCount;
    for (const auto& [kind, n] : counter.kinds)
        byCount.emplace_back(n, kind);
    std::sort(byCount.rbegin(), byCount.rend());
    for (const auto& [n, kind] : byCount)
        std::printf("%8ld %s\n", n, qPrintable(kind));
    std::printf("%ld\n", counter.events);
    return 0;
}

#include "screen_reader_stub.moc"
