// The notification-area icon with the main window: minimising, restoring, starting in the
// notification area, and desktops that have none.

#include "../app/window_session.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "tray/cool_tray_icon.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <memory>

class TestTray : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowSession> session;

    void start(bool trayHost, const QStringList& args = {}) {
        TCoolTrayIcon::setTrayAvailableOverride(trayHost ? 1 : 0);
        kvx::createForms(args);
    }
    static void minimise() {
        Form1->showMinimized();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    static bool iconShown() { return Form1->TrayIcon1 && Form1->TrayIcon1->isShownInTray(); }

private slots:
    void init() { session = std::make_unique<WindowSession>(); }
    void cleanup() {
        session.reset();
        TCoolTrayIcon::setTrayAvailableOverride(-1);
    }

    void iconAsStartUpSetsItUp() {
        start(true);
        TCoolTrayIcon* tray = Form1->TrayIcon1;
        QVERIFY(tray);
        QCOMPARE(tray->popupMenu(), Form1->PopupMenu1);
        QCOMPARE(tray->effectiveTip(), QStringLiteral("Korvenix 3 - Click to restore"));
        QVERIFY(tray->minimizeToTray());
        QVERIFY(tray->showformOnTrayIconClick());
        QVERIFY(!tray->persistenttrayIcon());
        QVERIFY(!iconShown()); // none while the window shows
        const auto actions = tray->popupMenu()->actions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions[0]->text(), QStringLiteral("Restore"));
    }

    void tipIsCutTo127Characters() {
        start(true);
        Form1->TrayIcon1->setHint(QString(200, QLatin1Char('x')));
        QCOMPARE(Form1->TrayIcon1->effectiveTip().size(), 127);
        Form1->TrayIcon1->setShowHint(false);
        QCOMPARE(Form1->TrayIcon1->effectiveTip(), QString());
    }

    void minimiseAndRestoreTwice() {
        start(true);
        for (int round = 0; round < 2; ++round) {
            minimise();
            QVERIFY(!Form1->isVisible());
            QVERIFY(iconShown());
            Form1->TrayIcon1->Click(); // the left button's release
            QVERIFY(Form1->isVisible());
            QVERIFY(!Form1->isMinimized());
            QVERIFY(!iconShown());
        }
        // "Restore" in the menu does the same.
        minimise();
        Form1->Quitter1->trigger();
        QVERIFY(Form1->isVisible());
        QVERIFY(!iconShown());
    }

    void compactModeSurvivesTheTray() {
        start(true);
        Form1->FormDblClick();
        QVERIFY(Form1->compactMode());
        minimise();
        Form1->TrayIcon1->Click();
        QVERIFY(Form1->compactMode());
        QCOMPARE(Form1->height(), 21);
    }

    void startWithAnArgumentInTheNotificationArea() {
        start(true, {"-w"});
        QVERIFY(!Form1->isVisible());
        QVERIFY(iconShown());
        Form1->TrayIcon1->Click();
        QVERIFY(Form1->isVisible());
        QCOMPARE(Form1->PageControl1->currentWidget(), Form1->TabSheet1);
        QVERIFY(!iconShown());
    }

    void noNotificationAreaLeavesAnOrdinaryWindow() {
        start(false, {"-w"});
        QVERIFY(Form1->isMinimized()); // reachable from the task bar, not hidden
        QVERIFY(!iconShown());
        Form1->showNormal();
        minimise();
        QVERIFY(Form1->isVisible());
        QVERIFY(Form1->isMinimized());
        QVERIFY(!iconShown());
        // A notification area that appears later is used from then on.
        TCoolTrayIcon::setTrayAvailableOverride(1);
        Form1->showNormal();
        minimise();
        QVERIFY(!Form1->isVisible());
        QVERIFY(iconShown());
    }

    void exitRemovesTheIconBeforeTheEnd() {
        start(true);
        minimise();
        QVERIFY(iconShown());
        QPointer<QSystemTrayIcon> icon = Form1->TrayIcon1->findChild<QSystemTrayIcon*>();
        QVERIFY(icon);
        Form1->Apropos1->trigger();
        QVERIFY(!Form1->TrayIcon1);
        QVERIFY(icon.isNull());
    }

    void closingRemovesTheIcon() {
        start(true);
        QPointer<QSystemTrayIcon> icon = Form1->TrayIcon1->findChild<QSystemTrayIcon*>();
        Form1->close();
        QVERIFY(!Form1->TrayIcon1);
        QVERIFY(icon.isNull());
    }

    void noIconWhenStartUpStopsEarly() {
        session = std::make_unique<WindowSession>(QByteArray()); // no settings key at all
        start(true, {"-w"});
        QVERIFY(!Form1->TrayIcon1);
        QVERIFY(Form1->isVisible()); // not started minimised either
        minimise();
        QVERIFY(Form1->isMinimized());
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestTray test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tray.moc"
