// The window from the keyboard alone: Tab reaches every command, Space and Enter fire it, and
// the drawing list answers Delete, Enter and F5, on a real folder.

#include "window_session.h"

#include "support/dwg_builder.h"

#include "app/main_window.h"
#include "app/speed_button.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <memory>

class TestKeyboard : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowSession> session;
    QString dir;

    void writeDrawing(const QString& path) {
        static const kvxtest::Bytes dwg =
            kvxtest::DwgBuilder("AC1018")
                .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(30, 20, 4), {4}))
                .build();
        kvxtest::writeFile(QFile::encodeName(path).toStdString(), dwg);
    }

    // Three drawings and a report page on the desktop, the window active on them.
    void start() {
        dir = session->fx.desktop();
        for (const char* name : {"a.dwg", "b.dwg", "c.dwg"})
            writeDrawing(dir + "/" + name);
        QFile(dir + "/a.dwg.htm").open(QIODevice::WriteOnly);
        kvx::createForms({});
        Form1->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        QCOMPARE(listedNames(Form1->FileListBox1), (QStringList{"a.dwg", "b.dwg", "c.dwg"}));
    }

private slots:
    void init() {
        session = std::make_unique<WindowSession>();
        start();
    }
    void cleanup() { session.reset(); }

    void tabVisitsEveryCommandOnceInLayoutOrder_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("View") << 0 << "ShellTreeView1"
                              << QStringList{"SpeedButton1", "SpeedButton2", "SpeedButton6",
                                             "SpeedButton3"};
        QTest::newRow("Index") << 1 << "ShellTreeView2"
                               << QStringList{"SpeedButton7", "SpeedButton8", "SpeedButton9"};
        QTest::newRow("Help") << 3 << "qt_tabwidget_tabbar"
                              << QStringList{"SpeedButton10", "SpeedButton5"};
    }
    void tabVisitsEveryCommandOnceInLayoutOrder() {
        QFETCH(int, page);
        QFETCH(QString, from);
        QFETCH(QStringList, commands);
        Form1->PageControl1->setCurrentIndex(page);
        auto* first = Form1->findChild<QWidget*>(from);
        QVERIFY(first);
        first->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), first);
        // Once round the page, back to where it started.
        QStringList visited;
        for (int step = 0; step < 40; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            if (now == first)
                break;
            if (qobject_cast<QToolButton*>(now))
                visited << now->objectName();
        }
        QCOMPARE(QApplication::focusWidget(), first);
        QCOMPARE(visited, commands);
    }

    void spaceAndEnterClickTheFocusedCommand() {
        // Report: a click writes the selected drawing's report.
        QToolButton* report = Form1->SpeedButton6;
        QVERIFY(qobject_cast<TSpeedButton*>(report));
        QSignalSpy clicks(report, &QAbstractButton::clicked);
        report->setFocus(Qt::TabFocusReason);
        QTest::keyClick(report, Qt::Key_Space);
        QCOMPARE(clicks.count(), 1);
        QTest::keyClick(report, Qt::Key_Return);
        QTest::keyClick(report, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(clicks.count(), 3);
        QVERIFY(QFile::exists(dir + "/a.dwg.jpg"));
    }

    void drawingListKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<int>("answer"); // 0: none queued, the box is left as Escape leaves it
        QTest::addColumn<int>("asked");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<int>("opened");
        QTest::addColumn<bool>("reread");
        const QStringList all{"a.dwg", "b.dwg", "c.dwg"}, erased{"a.dwg", "c.dwg"};
        QTest::newRow("Delete, confirmed") << int(Qt::Key_Delete) << true << int(kvx::MbOk) << 1
                                           << erased << 0 << false;
        QTest::newRow("Delete, refused") << int(Qt::Key_Delete) << true << 0 << 1 << all << 0
                                         << false;
        QTest::newRow("Delete, no confirmation")
            << int(Qt::Key_Delete) << false << 0 << 0 << erased << 0 << false;
        QTest::newRow("Enter") << int(Qt::Key_Return) << true << 0 << 0 << all << 1 << false;
        // The list keeps "b.dwg" selected and shows the drawing written meanwhile; the tree
        // shows the folder made meanwhile.
        QTest::newRow("F5") << int(Qt::Key_F5) << true << 0 << 0
                            << QStringList{"a.dwg", "b.dwg", "c.dwg", "d.dwg"} << 0 << true;
    }
    void drawingListKeys() {
        QFETCH(int, key);
        QFETCH(bool, confirm);
        QFETCH(int, answer);
        QFETCH(int, asked);
        QFETCH(QStringList, listed);
        QFETCH(int, opened);
        QFETCH(bool, reread);
        Form1->CheckBox1->setChecked(confirm);
        TFileListBox* list = Form1->FileListBox1;
        list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(list, Qt::Key_Down); // b.dwg, as the user picks it
        QCOMPARE(CurrentDrawingPath, dir + "/b.dwg");
        writeDrawing(dir + "/d.dwg");
        QVERIFY(QDir(dir).mkdir("later"));
        QSignalSpy opens(Form1->SpeedButton1, &QAbstractButton::clicked);
        kvx::MessageSeam::clear();
        if (answer)
            kvx::MessageSeam::setNextAnswer(answer);

        QTest::keyClick(list, Qt::Key(key));

        QCOMPARE(opens.count(), opened);
        const auto shown = kvx::MessageSeam::shown();
        const int questions = int(std::count_if(shown.begin(), shown.end(), [&](const auto& m) {
            return m.text == "Delete file " + dir + "/b.dwg";
        }));
        QCOMPARE(questions, asked);
        QCOMPARE(QFile::exists(dir + "/b.dwg"), listed.contains("b.dwg"));
        // An erase re-reads the list too, and sees the new drawing; otherwise only F5 does.
        QStringList expected = listed;
        if (key == Qt::Key_Delete && expected != QStringList{"a.dwg", "b.dwg", "c.dwg"})
            expected << "d.dwg";
        QCOMPARE(listedNames(list), expected);
        if (reread)
            QCOMPARE(list->text(list->itemIndex()), QStringLiteral("b.dwg"));
        const QModelIndex desktop = Form1->ShellTreeView1->model()->index(0, 0);
        bool later = false;
        for (int i = 0; i < Form1->ShellTreeView1->model()->rowCount(desktop); ++i)
            later |= desktop.model()->index(i, 0, desktop).data().toString() == "later";
        QCOMPARE(later, reread);
    }

    // Moving through a longer list: the user's keys tell the window, a row set in code does not.
    void drawingListMovesByKeys_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("clicks");
        using K = QList<int>;
        QTest::newRow("Down") << K{Qt::Key_Down} << ""
                              << "a01.dwg" << 1;
        QTest::newRow("End") << K{Qt::Key_End} << ""
                             << "z.dwg" << 1;
        QTest::newRow("End, Home") << K{Qt::Key_End, Qt::Key_Home} << ""
                                   << "a00.dwg" << 2;
        QTest::newRow("PgDn, PgUp") << K{Qt::Key_PageDown, Qt::Key_PageUp} << ""
                                    << "a00.dwg" << 2;
        QTest::newRow("first letter") << K{} << "m"
                                      << "m.dwg" << 1;
        QTest::newRow("first letters") << K{} << "mn"
                                       << "mn.dwg" << 2;
        QTest::newRow("in code") << K{} << ""
                                 << "a05.dwg" << 0;
    }
    void drawingListMovesByKeys() {
        QFETCH(QList<int>, keys);
        QFETCH(QString, typed);
        QFETCH(QString, selected);
        QFETCH(int, clicks);
        const QString many = dir + "/many";
        QVERIFY(QDir().mkpath(many));
        for (int i = 0; i < 30; ++i)
            writeDrawing(many + QStringLiteral("/a%1.dwg").arg(i, 2, 10, QLatin1Char('0')));
        for (const char* name : {"m.dwg", "mn.dwg", "z.dwg"})
            writeDrawing(many + "/" + name);
        Form1->ShellTreeView1->populate(); // the tree reads a folder's sub-folders once
        QVERIFY(Form1->ShellTreeView1->selectPath(many));
        TFileListBox* list = Form1->FileListBox1;
        QCOMPARE(list->count(), 33);
        list->setFocus(Qt::MouseFocusReason);
        QSignalSpy userClicks(list, &TFileListBox::userClick);

        for (const int key : keys)
            QTest::keyClick(list, Qt::Key(key));
        QTest::keyClicks(list, typed);
        if (keys.isEmpty() && typed.isEmpty())
            list->setItemIndex(5);

        QCOMPARE(list->text(list->itemIndex()), selected);
        QCOMPARE(list->selectedPath(), many + "/" + selected);
        QCOMPARE(userClicks.count(), clicks);
        QCOMPARE(CurrentDrawingPath, many + "/" + (clicks ? selected : QStringLiteral("a00.dwg")));
    }
};

int main(int argc, char** argv) {
    // Open finds no bus, and says so: the test sees the click, not a CAD program.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/korvenix-test-bus");
    TApplication app(argc, argv);
    TestKeyboard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keyboard.moc"
