// The long operations (slide show, batch, compile) meeting each other and a close request,
// and what the build leaves and shows when it ends early or fails.

#include "build_fixture.h"

#include "report/wait_window.h"

#include <QElapsedTimer>
#include <QImage>
#include <QToolButton>

using namespace std::chrono_literals;

namespace {

// A slide stays on show until the test acts.
constexpr auto kLongUnit = 1h;

// Each command button: shown ("S") or hidden ("h"), enabled ("+") or not ("-").
QString states(std::initializer_list<const QToolButton*> buttons) {
    QStringList s;
    for (const QToolButton* b : buttons)
        s << QString(b->isVisibleTo(b->parentWidget()) ? "S" : "h") + (b->isEnabled() ? "+" : "-");
    return s.join(' ');
}
// Open, Erase, Report, Slide, Stop.
QString viewButtons() {
    return states({Form1->SpeedButton1, Form1->SpeedButton2, Form1->SpeedButton6,
                   Form1->SpeedButton3, Form1->SpeedButton4});
}
QString buildButtons() {
    return states({Form1->SpeedButton7, Form1->SpeedButton8});
}

} // namespace

class TestLongOperations : public QObject, public BuildFixture {
    Q_OBJECT
private:
    QStringList reports() const { return QDir(dir).entryList({"*.dwg.htm", "*.dwg.jpg"}); }

private slots:
    void cleanup() {
        TForm1::SlidePauseUnit = 250ms;
        session.reset();
    }

    // A report written while the compiler runs is not in the pages: the clean-up keeps it.
    void cleanUpDeletesOnlyTheReportsItIndexed() {
        start("gate", "html jpg", true, [&] {
            writeDrawings(dir, {"a.dwg", "late.dwg"});
            write(dir + "/a.dwg.htm", "x");
            write(dir + "/a.dwg.jpg", "x");
        });
        QTimer::singleShot(50, [&] {
            Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
            Form1->FileListBox1->setItemIndex(1);
            Form1->FileListBox1Click();
            Form1->SpeedButton6->click(); // Report, for late.dwg
            write(tools + "/go", "");
        });
        ResultDialogWatch dialog;
        Form1->SpeedButton7Click();
        QCOMPARE(dialog.shown, 1);
        QCOMPARE(files(),
                 sorted({"a.dwg", "late.dwg", "late.dwg.htm", "late.dwg.jpg", autoIndex()}));
    }

    // Every message box of the build comes after the wait window has gone, and a compiler
    // output that could not take the index's name is not left in the folder.
    void theWaitWindowGoesBeforeAnyMessage_data() {
        QTest::addColumn<QString>("compiler");
        QTest::addColumn<QString>("blocked"); // a folder where a file should go
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, QString compiler, QString blocked, QString said) {
            QTest::newRow(name) << compiler << blocked << said;
        };
        row("a page cannot be written", "ok", "haut.htm", "/Plans/haut.htm");
        row("the compiler fails", "fail", "", "the compile failed");
        row("the rename fails", "ok", "INDEX", "could not be created.");
    }
    void theWaitWindowGoesBeforeAnyMessage() {
        QFETCH(QString, compiler);
        QFETCH(QString, blocked);
        QFETCH(QString, message);
        start(compiler, "html jpg", true, [&] {
            write(dir + "/a.dwg.htm", "x");
            if (!blocked.isEmpty()) {
                const QString in = dir + "/" + QString(blocked).replace("INDEX", autoIndex());
                QDir().mkpath(in + "/kept");
            }
        });
        struct HideWatch : QObject {
            int messagesBefore = -1;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Hide && messagesBefore < 0)
                    messagesBefore = kvx::MessageSeam::shown().size();
                return false;
            }
        } hidden;
        Form4->installEventFilter(&hidden);
        ResultDialogWatch dialog;
        Form1->SpeedButton7->click();
        Form4->removeEventFilter(&hidden);
        QCOMPARE(dialog.shown, 0);
        QVERIFY2(said().contains(message), qPrintable(said()));
        QVERIFY(!QFile::exists(dir + "/hhctest.chm"));
        QCOMPARE(hidden.messagesBefore, 0);
        QVERIFY(QFile::exists(dir + "/a.dwg.htm")); // nothing cleaned after a failure
    }

    // One long operation at a time: what one asks while another runs is refused.
    void anotherOperationWaits_data() {
        QTest::addColumn<QString>("outer");
        QTest::addColumn<QString>("during");      // View or Index buttons while it runs
        QTest::addColumn<bool>("closes");         // a close asked after the inner request
        QTest::addColumn<QStringList>("reports"); // written by the end
        QTest::addColumn<int>("compiles");
        QTest::addColumn<int>("dialogs");
        const QStringList none;
        const QString show = "show";
        QTest::newRow("Slide during a compile") << QString("compile") << "S+ S+ S+ S- h-" << false
                                                << QStringList{"a.dwg.htm"} << 1 << 1;
        QTest::newRow("a batch during a show") << show << "S- S-" << false << none << 0 << 0;
        QTest::newRow("a close during a batch started inside a show")
            << show << "S- S-" << true << none << 0 << 0;
    }
    void anotherOperationWaits() {
        QFETCH(QString, outer);
        QFETCH(QString, during);
        QFETCH(bool, closes);
        QFETCH(QStringList, reports);
        QFETCH(int, compiles);
        QFETCH(int, dialogs);
        start(outer == "compile" ? "gate" : "ok", "", true, [&] {
            writeDrawings(dir, {"a.dwg", "b.dwg", "c.dwg"});
            if (outer == "compile")
                write(dir + "/a.dwg.htm", "x");
        });
        TForm1::SlidePauseUnit = kLongUnit;
        QString seen;
        bool innerRan = false;
        bool outerStillRan = false;
        QTimer::singleShot(100, [&] {
            if (outer == "compile") {
                seen = viewButtons();
                QTimer::singleShot(200, [&] {
                    innerRan = Form1->slideShowRunning();
                    if (innerRan)
                        Form1->SpeedButton4->click();
                    write(tools + "/go", "");
                });
                Form1->SpeedButton3->click(); // Slide
                return;
            }
            seen = buildButtons();
            Form1->SpeedButton8->click(); // the batch
            outerStillRan = Form1->slideShowRunning();
            innerRan = QFile::exists(dir + "/a.dwg.htm");
            if (closes && Form1->isVisible())
                Form1->close();
            else if (Form1->slideShowRunning())
                Form1->SpeedButton4->click();
        });
        ResultDialogWatch dialog;
        if (outer == "compile") {
            Form1->SpeedButton7->click();
            // The build's own end: the wait window and the buttons are back at once.
            QVERIFY(!Form4->isVisible());
            QCOMPARE(buildButtons(), QStringLiteral("S+ S+"));
        } else {
            Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
            Form1->SpeedButton3->click();
            QVERIFY(outerStillRan);
        }
        QVERIFY(!innerRan);
        QCOMPARE(seen, during);
        QCOMPARE(this->reports(), reports);
        QCOMPARE(compilerRuns().size(), compiles);
        QCOMPARE(dialog.shown, dialogs);
        QCOMPARE(Form1->isVisible(), !closes);
        QCOMPARE(Form1->TrayIcon1 == nullptr, closes);
        if (!closes) {
            Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
            QCOMPARE(viewButtons(), QStringLiteral("S+ S+ S+ S+ h-"));
        }
    }

    // A close during the batch: the drawings in flight are finished and written, no other is
    // begun, nothing is compiled or shown, and the window closes. What is left is whole reports
    // of the first drawings of the list, up to the one on show at the close or beyond it.
    void aCloseDuringTheBatchLeavesWholeReportsOfTheFirstDrawings() {
        QStringList drawings;
        // Enough drawings that the batch's first sign of progress comes long before its end.
        for (int i = 0; i < 1000; ++i)
            drawings << QStringLiteral("d%1.dwg").arg(i, 4, 10, QLatin1Char('0'));
        start("ok", "", true, [&] { writeDrawings(dir, drawings); });
        QObject guard; // the close comes once the batch shows its progress
        int closedAt = -1;
        QObject::connect(Form1->FileListBox1->selectionModel(),
                         &QItemSelectionModel::currentChanged, &guard,
                         [&closedAt](const QModelIndex& current) {
                             if (closedAt < 0 && current.row() >= 1) {
                                 closedAt = current.row();
                                 Form1->close();
                             }
                         });
        ResultDialogWatch dialog;
        Form1->SpeedButton8->click();
        QVERIFY(closedAt >= 1);
        const QStringList written = reports();
        QVERIFY2(written.size() < 2 * drawings.size(), "the close stopped nothing");
        QStringList want;
        for (int i = 0; i < written.size() / 2; ++i)
            want << drawings[i] + ".htm" << drawings[i] + ".jpg";
        QCOMPARE(written, sorted(want));
        QVERIFY(written.size() / 2 > closedAt);
        for (int i = 0; i < written.size() / 2; ++i) {
            QVERIFY(readAll(dir + "/" + drawings[i] + ".htm").endsWith("</html>\r\n"));
            QVERIFY(!QImage(dir + "/" + drawings[i] + ".jpg").isNull());
        }
        QCOMPARE(QDir(dir).entryList({"*.kvx-tmp-*"}, QDir::Files | QDir::Hidden), QStringList{});
        QVERIFY(!QFile::exists(dir + "/index.htm"));
        QCOMPARE(compilerRuns().size(), 0);
        QCOMPARE(dialog.shown, 0);
        QCOMPARE(said(), QString());
        QVERIFY(!Form1->isVisible() && !Form1->TrayIcon1);
    }

    // A compiler that never ends does not hold a close: it is asked to end after ten seconds,
    // then ended; the earlier index and the reports stay, and no message comes up.
    void aCloseEndsACompileThatNeverEnds() {
        start("stubborn", "html jpg", true, [&] {
            write(dir + "/a.dwg.htm", "x");
            write(dir + "/a.dwg.jpg", "x");
            write(dir + "/" + autoIndex(), "earlier index");
        });
        QTimer::singleShot(100, [] { Form1->close(); });
        ResultDialogWatch dialog;
        QElapsedTimer took;
        took.start();
        Form1->SpeedButton7->click();
        QVERIFY2(took.elapsed() < 25000, qPrintable(QString::number(took.elapsed())));
        QVERIFY(took.elapsed() >= 10000);
        QCOMPARE(readAll(dir + "/" + autoIndex()), QByteArray("earlier index"));
        QVERIFY(QFile::exists(dir + "/a.dwg.htm") && QFile::exists(dir + "/a.dwg.jpg"));
        QCOMPARE(dialog.shown, 0);
        QCOMPARE(said(), QString());
        QVERIFY(!Form1->isVisible() && !Form1->TrayIcon1);
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestLongOperations test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_long_operations.moc"
