#pragma once
// The serving side of the dispatch interface (automation-interface.md): one object per path,
// whose members are handlers found regardless of letter case. Used by the drawing bridge and
// by anyone writing a server for their CAD program with Qt.

#include <QDBusContext>
#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <QVariant>
#include <functional>

class QDBusConnection;

namespace kvx {

class AutomationObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.stalwen.Automation.Dispatch")
public:
    // A member's answer: an invalid QVariant for no value, a QDBusObjectPath for an object.
    // A handler refuses a call by throwing AutomationFailure; its text goes back to the caller.
    using Member = std::function<QVariant(int kind, const QVariantList& args)>;

    explicit AutomationObject(QObject* parent = nullptr) : QObject(parent) {}

    void define(const QString& name, Member member);
    // Serves the object at `path`; false when the path is taken.
    bool publish(QDBusConnection& bus, const QString& path);

public Q_SLOTS:
    QDBusVariant Invoke(const QString& name, int kind, const QVariantList& args);

Q_SIGNALS:
    // After every call, answered or refused.
    void called();

private:
    QHash<QString, Member> m_members; // by lower-case name
};

} // namespace kvx
