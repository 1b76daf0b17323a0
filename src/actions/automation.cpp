#include "actions/automation.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>

namespace kvx {

const char* const kNotAnObjectText = "Le variant ne référence pas un objet Automation";
const char* const kDispatchInterface = "org.stalwen.Automation.Dispatch";
const char* const kApplicationPath = "/org/stalwen/Automation/Application";
const char* const kAutomationErrorPrefix = "org.stalwen.Automation.Error.";

namespace {

int g_timeoutMs = 60000;

const QString kBus = QStringLiteral("org.freedesktop.DBus");

QDBusConnection sessionBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        throw AutomationFailure(AutomationError::BusUnavailable,
                                QStringLiteral("No session bus: ") + bus.lastError().message());
    return bus;
}

// One blocking call; the window waits, but never longer than the time-out.
QDBusMessage callBus(const QDBusMessage& message) {
    const QDBusMessage reply = sessionBus().call(message, QDBus::Block, g_timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply;
    if (reply.type() != QDBusMessage::ErrorMessage)
        throw AutomationFailure(AutomationError::BadReply,
                                QStringLiteral("No answer from ") + message.service());
    const QString name = reply.errorName();
    QString text = reply.errorMessage();
    if (text.isEmpty())
        text = name;
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        throw AutomationFailure(AutomationError::NoReply,
                                QStringLiteral("%1 did not answer within %2 s (%3)")
                                    .arg(message.service())
                                    .arg(g_timeoutMs / 1000)
                                    .arg(text));
    if (name == QLatin1String(kAutomationErrorPrefix) + QLatin1String("UnknownName") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface"))
        throw AutomationFailure(AutomationError::UnknownName, text);
    throw AutomationFailure(AutomationError::ServerError, text);
}

QString nameFor(const QString& progId) {
    const QString name = busNameForProgId(progId);
    if (name.isEmpty())
        throw AutomationFailure(AutomationError::InvalidProgId,
                                QStringLiteral("Invalid class string: \"%1\"").arg(progId));
    return name;
}

QDBusMessage busMethod(const char* method) {
    return QDBusMessage::createMethodCall(kBus, QStringLiteral("/org/freedesktop/DBus"), kBus,
                                          QLatin1String(method));
}

// A call's result: an object path becomes an object of the same server, an empty array
// stands for no value, anything else is the plain value.
QVariant resultValue(const QString& service, const QVariant& reply) {
    if (reply.userType() != qMetaTypeId<QDBusVariant>())
        throw AutomationFailure(AutomationError::BadReply,
                                QStringLiteral("%1 answered a call with no variant").arg(service));
    const QVariant value = reply.value<QDBusVariant>().variant();
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return QVariant::fromValue(Dispatch(service, value.value<QDBusObjectPath>().path()));
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument arg = value.value<QDBusArgument>();
        if (arg.currentSignature() == QLatin1String("av")) {
            QVariantList items;
            arg >> items;
            if (items.isEmpty())
                return {};
        }
        throw AutomationFailure(
            AutomationError::BadReply,
            QStringLiteral("%1 answered with a value of type %2, which is not a plain "
                           "value, an object or nothing")
                .arg(service, arg.currentSignature()));
    }
    return value;
}

} // namespace

AutomationFailure::AutomationFailure(AutomationError error, const QString& text)
    : std::runtime_error(text.toStdString()), m_error(error) {}

QString busNameForProgId(const QString& progId) {
    QString name = QStringLiteral("org.stalwen.Automation");
    for (QString element : progId.split(QLatin1Char('.'))) {
        if (element.isEmpty())
            return {};
        for (QChar& c : element)
            if (!(c.isDigit() || c == QLatin1Char('_') || (c.unicode() < 128 && c.isLetter())))
                c = QLatin1Char('_');
        if (element[0].isDigit())
            element.prepend(QLatin1Char('_'));
        name += QLatin1Char('.') + element;
    }
    return name.size() <= 255 ? name : QString();
}

Dispatch::Dispatch(QString service, QString path)
    : m_service(std::move(service)), m_path(std::move(path)) {}

void Dispatch::put(const QString& name, const QVariant& value) const {
    call(name, CallPut, {value});
}

QVariant Dispatch::get(const QString& name) const {
    return call(name, CallMethod | CallGet, {});
}

QVariant Dispatch::invoke(const QString& name, const QVariantList& args) const {
    return call(name, CallMethod, args);
}

QVariant Dispatch::call(const QString& name, int kind, const QVariantList& args) const {
    if (isNull())
        throw AutomationFailure(AutomationError::NotAnObject, QString::fromUtf8(kNotAnObjectText));
    QDBusMessage message = QDBusMessage::createMethodCall(
        m_service, m_path, QLatin1String(kDispatchInterface), QStringLiteral("Invoke"));
    message << name << kind << QVariant::fromValue(args);
    const QDBusMessage reply = callBus(message);
    if (reply.arguments().size() != 1)
        throw AutomationFailure(AutomationError::BadReply,
                                QStringLiteral("%1 answered \"%2\" with %3 values instead of one")
                                    .arg(m_service, name)
                                    .arg(reply.arguments().size()));
    return resultValue(m_service, reply.arguments().first());
}

Dispatch toDispatch(const QVariant& value) {
    return value.userType() == qMetaTypeId<Dispatch>() ? value.value<Dispatch>() : Dispatch();
}

Dispatch getActiveObject(const QString& progId) {
    const QString name = nameFor(progId);
    QDBusMessage ask = busMethod("NameHasOwner");
    ask << name;
    const QDBusMessage reply = callBus(ask);
    if (reply.arguments().value(0).toBool())
        return Dispatch(name, QLatin1String(kApplicationPath));
    throw AutomationFailure(AutomationError::NotRunning,
                            QStringLiteral("Operation unavailable: no running %1").arg(progId));
}

Dispatch createObject(const QString& progId) {
    const QString name = nameFor(progId);
    QDBusMessage start = busMethod("StartServiceByName");
    start << name << 0u;
    try {
        callBus(start);
    } catch (const AutomationFailure& e) {
        if (e.error() == AutomationError::NoReply)
            throw;
        throw AutomationFailure(
            AutomationError::NoServer,
            QStringLiteral("Cannot start the automation server for %1: %2").arg(progId, e.text()));
    }
    return Dispatch(name, QLatin1String(kApplicationPath));
}

int callTimeoutMs() {
    return g_timeoutMs;
}
void setCallTimeoutMs(int ms) {
    g_timeoutMs = ms;
}

} // namespace kvx
