#include "actions/automation_server.h"

#include "actions/automation.h"

#include <QDBusConnection>

namespace kvx {

void AutomationObject::define(const QString& name, Member member) {
    m_members.insert(name.toLower(), std::move(member));
}

bool AutomationObject::publish(QDBusConnection& bus, const QString& path) {
    return bus.registerObject(path, this, QDBusConnection::ExportAllSlots);
}

QDBusVariant AutomationObject::Invoke(const QString& name, int kind, const QVariantList& args) {
    const auto member = m_members.constFind(name.toLower());
    QVariant result;
    if (member == m_members.constEnd()) {
        sendErrorReply(QLatin1String(kAutomationErrorPrefix) + QLatin1String("UnknownName"),
                       QStringLiteral("Unknown name: %1").arg(name));
    } else {
        try {
            result = (*member)(kind, args);
        } catch (const AutomationFailure& e) {
            sendErrorReply(QLatin1String(kAutomationErrorPrefix) + QLatin1String("Failed"),
                           e.text());
        }
    }
    emit called();
    // No value travels as an empty array of variants.
    return QDBusVariant(result.isValid() ? result : QVariant::fromValue(QVariantList()));
}

} // namespace kvx
