#pragma once
// Name-based automation of another program over the session bus: a ProgID names a well-known
// bus name, every object answers one generic dispatch interface (automation-interface.md), and
// what a call returns may again be an object. Every failure is an AutomationFailure whose text
// is the server's or the bus's.

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <stdexcept>

namespace kvx {

enum class AutomationError {
    None,
    InvalidProgId,  // the ProgID gives no usable bus name
    BusUnavailable, // no session bus to talk to
    NotRunning,     // no program owns the ProgID's name
    NoServer,       // no service file records the name, or its program could not start
    NotAnObject,    // the call's target is an empty variant, not an object
    UnknownName,    // the server knows no such method or property
    ServerError,    // the server refused or failed the call
    NoReply,        // no answer within the time-out
    BadReply,       // an answer not shaped as the interface says
};

class AutomationFailure : public std::runtime_error {
public:
    AutomationFailure(AutomationError error, const QString& text);
    AutomationError error() const { return m_error; }
    QString text() const { return QString::fromUtf8(what()); }

private:
    AutomationError m_error;
};

// What the raised exception of a call on an empty variant says, as the Windows runtime does.
extern const char* const kNotAnObjectText;

// The kind of a call; a property read is sent as method and get together, as a variant
// property read does.
enum CallKind : int { CallMethod = 1, CallGet = 2, CallPut = 4 };

extern const char* const kDispatchInterface;     // "org.stalwen.Automation.Dispatch"
extern const char* const kApplicationPath;       // the application object of every server
extern const char* const kAutomationErrorPrefix; // the servers' error names begin with it

// "org.stalwen.Automation." + the ProgID's dot-separated elements, each with characters
// outside [A-Za-z0-9_] made "_" and with "_" before one that starts with a digit. Empty when
// the ProgID has an empty element or the name would pass the bus's 255 characters.
QString busNameForProgId(const QString& progId);

// A reference to one object of one server; empty by default.
class Dispatch {
public:
    Dispatch() = default;
    Dispatch(QString service, QString path);

    bool isNull() const { return m_service.isEmpty(); }
    QString service() const { return m_service; }
    QString path() const { return m_path; }

    void put(const QString& name, const QVariant& value) const;
    QVariant get(const QString& name) const;
    QVariant invoke(const QString& name, const QVariantList& args = {}) const;

private:
    QVariant call(const QString& name, int kind, const QVariantList& args) const;

    QString m_service;
    QString m_path;
};

// The object a result holds; empty when it holds anything else.
Dispatch toDispatch(const QVariant& value);

// The application object of the running program that owns the ProgID's name.
Dispatch getActiveObject(const QString& progId);
// Starts the ProgID's server by bus activation (attaching when it already runs).
Dispatch createObject(const QString& progId);

// How long one call may wait for its answer; a hung server then fails instead of freezing.
int callTimeoutMs();
void setCallTimeoutMs(int ms);

} // namespace kvx

Q_DECLARE_METATYPE(kvx::Dispatch)
