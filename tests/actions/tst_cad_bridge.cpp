// The Open button through the installed drawing bridge, activated on a private bus, handing
// drawings to a recording application of a private desktop.

#include "../app/window_session.h"
#include "support/drawing_desktop.h"
#include "support/dwg_builder.h"
#include "support/private_bus.h"

#include "actions/automation.h"
#include "app/application.h"
#include "app/main_window.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"

#include <QDir>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {
const QString kName = kvx::busNameForProgId("AutoCad.Application.16");
}

class TestCadBridge : public QObject {
    Q_OBJECT
public:
    TestCadBridge(DrawingDesktop* desktop, PrivateBus* bus) : desktop(desktop), bus(bus) {}

private:
    DrawingDesktop* desktop;
    PrivateBus* bus;
    std::unique_ptr<WindowSession> session;
    QString path;

    void startOnADrawing() {
        const QString dir = session->fx.desktop() + "/Plans d'été";
        QDir().mkpath(dir);
        path = dir + "/maison côté #2 & <nord>.dwg";
        kvxtest::writeFile(QFile::encodeName(path).toStdString(),
                           kvxtest::DwgBuilder("AC1018").build());
        kvx::createForms({});
        Form1->RadioButton3->setChecked(true);
        QVERIFY(Form1->ShellTreeView1->selectPath(dir));
        kvx::MessageSeam::clear();
    }

private slots:
    void initTestCase() { QVERIFY2(bus->running(), "dbus-daemon could not be started"); }
    void init() {
        session = std::make_unique<WindowSession>();
        QVERIFY(PrivateBus::stopOwner(kName));
    }
    void cleanup() { session.reset(); }
    void cleanupTestCase() { PrivateBus::stopOwner(kName); }

    void opensInTheDesktopsDrawingApplication() {
        desktop->installViewer();
        startOnADrawing();
        Form1->SpeedButton1->click();
        const QString started = "1|" + path; // one argument, as it stands
        QTRY_COMPARE_WITH_TIMEOUT(desktop->viewerStarts(), QStringList{started}, 60000);
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Information"));
        QCOMPARE(shown[0].text, "File " + path + " open.");

        const uint bridge = PrivateBus::ownerPid(kName);
        QVERIFY(bridge != 0);
        Form1->SpeedButton1->click();
        QTRY_COMPARE_WITH_TIMEOUT(desktop->viewerStarts(), (QStringList{started, started}), 60000);
        QCOMPARE(PrivateBus::ownerPid(kName), bridge);
        QCOMPARE(kvx::MessageSeam::shown().size(), 2);
        QVERIFY(!desktop->korvenixStarted());
    }

    void nothingStartedWhenTheDrawingCannotOpen_data() {
        QTest::addColumn<bool>("viewer");
        QTest::addColumn<bool>("drawingGone");
        QTest::addColumn<QString>("reason"); // the error's second line; %1 the drawing
        QTest::newRow("no application for drawings but Korvenix")
            << false << false
            << "No application opens drawings (image/vnd.dwg) on this desktop. Choose one in a "
               "terminal, for LibreCAD:\nxdg-mime default librecad.desktop image/vnd.dwg";
        QTest::newRow("drawing gone") << true << true << "File %1 not found.";
    }
    void nothingStartedWhenTheDrawingCannotOpen() {
        QFETCH(bool, viewer);
        QFETCH(bool, drawingGone);
        QFETCH(QString, reason);
        viewer ? desktop->installViewer() : desktop->removeViewer();
        startOnADrawing();
        if (drawingGone)
            QFile::remove(path);
        const QStringList before = desktop->viewerStarts();
        Form1->SpeedButton1->click();

        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Erreur"));
        QCOMPARE(shown[0].text, QString::fromUtf8(kvx::kNotAnObjectText) + "\n" +
                                    (reason.contains("%1") ? reason.arg(path) : reason));
        // The bridge refuses before it starts anything, and the call has returned.
        QCOMPARE(desktop->viewerStarts(), before);
        QVERIFY(!desktop->korvenixStarted());
    }
};

int main(int argc, char** argv) {
    // The desktop and the bus come first: the bus hands its environment to the bridge.
    QTemporaryDir root;
    DrawingDesktop desktop(root.path());
    PrivateBus bus(KVX_BRIDGE_SERVICES);
    TApplication app(argc, argv);
    TestCadBridge test(&desktop, &bus);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cad_bridge.moc"
