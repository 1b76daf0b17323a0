// fake_automation_server PROGID DIR: a stand-in CAD program serving a ProgID's application,
// documents and document. Appends each call to DIR/calls ("ProgID name kind args"), refuses
// members named in DIR/fail with "Fake failure of NAME", never answers those in DIR/hang.

#include "actions/automation.h"
#include "actions/automation_server.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QFile>
#include <QStringList>
#include <QThread>

namespace {

QString g_progId;
QString g_dir;

void record(const QString& line) {
    QFile f(g_dir + "/calls");
    if (f.open(QIODevice::Append))
        f.write((g_progId + ' ' + line + '\n').toUtf8());
}

bool listed(const char* file, const QString& name) {
    QFile f(g_dir + '/' + file);
    return f.open(QIODevice::ReadOnly) &&
           QString::fromUtf8(f.readAll()).split('\n').contains(name, Qt::CaseInsensitive);
}

// Records the call, then hangs or fails when asked to, else answers `result`.
kvx::AutomationObject::Member member(const QString& name, QVariant result = {}) {
    return [name, result](int kind, const QVariantList& args) {
        QStringList parts{name, QString::number(kind)};
        for (const QVariant& a : args)
            parts << QString::fromLatin1(a.typeName()) + ':' + a.toString();
        record(parts.join(' '));
        if (listed("hang", name))
            QThread::sleep(3600);
        if (listed("fail", name))
            throw kvx::AutomationFailure(kvx::AutomationError::ServerError,
                                         "Fake failure of " + name);
        return result;
    };
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    g_progId = app.arguments().value(1);
    g_dir = app.arguments().value(2);
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString root = QLatin1String(kvx::kApplicationPath);
    const QDBusObjectPath documentsPath(root + "/Documents"), documentPath(root + "/Documents/1");

    kvx::AutomationObject application, documents, document;
    application.define("visible", member("visible"));
    application.define("windowstate", member("windowstate"));
    application.define("Documents", member("Documents", QVariant::fromValue(documentsPath)));
    documents.define("Open", member("Open", QVariant::fromValue(documentPath)));
    document.define("Activate", member("Activate"));
    if (!application.publish(bus, root) || !documents.publish(bus, documentsPath.path()) ||
        !document.publish(bus, documentPath.path()) ||
        !bus.registerService(kvx::busNameForProgId(g_progId)))
        return 1;
    record("start");
    return app.exec();
}
