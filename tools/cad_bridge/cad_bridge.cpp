// korvenix31-cad-bridge PROGID [--idle-seconds N]: an automation server for PROGID on the
// session bus, started by bus activation. "Documents" "Open" hands the drawing to the
// desktop's default application for drawings; the window settings are accepted and kept.
// With no call for a while it ends by itself.

#include <gio/gio.h>

#include "actions/automation.h"
#include "actions/automation_server.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

const char* const kDrawingType = "image/vnd.dwg";
const int kDefaultIdleSeconds = 300;

using kvx::AutomationError;
using kvx::AutomationFailure;

bool isKorvenix(GAppInfo* app) {
    const char* id = g_app_info_get_id(app);
    const char* exe = g_app_info_get_executable(app);
    return (id && g_str_has_prefix(id, "korvenix31")) ||
           (exe && QFileInfo(QFile::decodeName(exe)).fileName() == QLatin1String("korvenix31"));
}

// The desktop's default application for drawings, or else the first one recommended; never
// this program's own browser. The caller owns the result.
GAppInfo* drawingHandler() {
    if (GAppInfo* app = g_app_info_get_default_for_type(kDrawingType, FALSE)) {
        if (!isKorvenix(app))
            return app;
        g_object_unref(app);
    }
    GAppInfo* found = nullptr;
    GList* apps = g_app_info_get_recommended_for_type(kDrawingType);
    for (GList* a = apps; a && !found; a = a->next)
        if (!isKorvenix(G_APP_INFO(a->data)))
            found = G_APP_INFO(g_object_ref(a->data));
    g_list_free_full(apps, g_object_unref);
    return found;
}

void openDrawing(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile())
        throw AutomationFailure(AutomationError::ServerError,
                                QStringLiteral("File %1 not found.").arg(path));
    GAppInfo* app = drawingHandler();
    if (!app)
        throw AutomationFailure(
            AutomationError::ServerError,
            QStringLiteral("No application opens drawings (%1) on this desktop. Choose one in a "
                           "terminal, for LibreCAD:\nxdg-mime default librecad.desktop %1")
                .arg(QLatin1String(kDrawingType)));
    GFile* file = g_file_new_for_path(QFile::encodeName(path).constData());
    GList* files = g_list_append(nullptr, file);
    GError* error = nullptr;
    const gboolean started = g_app_info_launch(app, files, nullptr, &error);
    const QString appName = QString::fromUtf8(g_app_info_get_name(app));
    g_list_free(files);
    g_object_unref(file);
    g_object_unref(app);
    if (!started) {
        const QString why = QString::fromUtf8(error ? error->message : "unknown error");
        g_clear_error(&error);
        throw AutomationFailure(
            AutomationError::ServerError,
            QStringLiteral("%1 could not be started for %2: %3").arg(appName, path, why));
    }
}

// A property the caller may set and read back; it changes nothing here.
kvx::AutomationObject::Member property(QVariant& store) {
    return [&store](int kind, const QVariantList& args) -> QVariant {
        if (kind & kvx::CallPut) {
            store = args.value(0);
            return {};
        }
        return store;
    };
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString progId = args.value(1);
    int idleSeconds = kDefaultIdleSeconds;
    if (args.size() == 4 && args[2] == QLatin1String("--idle-seconds"))
        idleSeconds = args[3].toInt();
    const QString busName = kvx::busNameForProgId(progId);
    if (busName.isEmpty() || (args.size() != 2 && args.size() != 4) || idleSeconds <= 0) {
        std::fprintf(stderr, "usage: korvenix31-cad-bridge PROGID [--idle-seconds N]\n");
        return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "korvenix31-cad-bridge: no session bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }

    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(idleSeconds * 1000);
    QObject::connect(&idle, &QTimer::timeout, &app, &QCoreApplication::quit);
    auto served = [&](kvx::AutomationObject* object, const QString& path) {
        QObject::connect(object, &kvx::AutomationObject::called, &idle,
                         qOverload<>(&QTimer::start));
        return object->publish(bus, path);
    };

    const QString applicationPath = QLatin1String(kvx::kApplicationPath);
    const QString documentsPath = applicationPath + QStringLiteral("/Documents");
    QVariant visible = false, windowState = 1;
    kvx::AutomationObject application, documents;
    std::vector<std::unique_ptr<kvx::AutomationObject>> opened;

    application.define(QStringLiteral("Visible"), property(visible));
    application.define(QStringLiteral("WindowState"), property(windowState));
    application.define(QStringLiteral("Documents"), [&](int, const QVariantList&) {
        return QVariant::fromValue(QDBusObjectPath(documentsPath));
    });
    documents.define(QStringLiteral("Open"), [&](int, const QVariantList& call) -> QVariant {
        const QString path = call.value(0).toString();
        openDrawing(path);
        auto document = std::make_unique<kvx::AutomationObject>();
        const QString documentPath = documentsPath + QStringLiteral("/%1").arg(opened.size() + 1);
        QVariant fullName = path;
        document->define(QStringLiteral("Activate"),
                         [](int, const QVariantList&) { return QVariant(); });
        document->define(QStringLiteral("FullName"),
                         [fullName](int, const QVariantList&) { return fullName; });
        if (!served(document.get(), documentPath))
            throw AutomationFailure(AutomationError::ServerError,
                                    QStringLiteral("Cannot publish %1").arg(documentPath));
        opened.push_back(std::move(document));
        return QVariant::fromValue(QDBusObjectPath(documentPath));
    });

    // The objects are in place before the name is taken, so a caller started by the
    // activation never finds the name without them.
    if (!served(&application, applicationPath) || !served(&documents, documentsPath) ||
        !bus.registerService(busName)) {
        std::fprintf(stderr, "korvenix31-cad-bridge: cannot serve %s: %s\n", qPrintable(busName),
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    idle.start();
    // A bus that goes away takes its callers with it.
    QTimer busWatch;
    QObject::connect(&busWatch, &QTimer::timeout, &app, [&] {
        if (!QDBusConnection::sessionBus().isConnected())
            app.quit();
    });
    busWatch.start(2000);
    return app.exec();
}
