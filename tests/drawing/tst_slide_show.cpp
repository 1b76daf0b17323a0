// The slide show on folders of generated drawings: each slide, Stop, and what happens around
// a show (a folder change, closing the window, input during a pause).

#include "../app/window_session.h"
#include "support/dwg_builder.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/path_label.h"
#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "preview/dwg_thumbnail.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

using namespace std::chrono_literals;
using kvxtest::DwgBuilder;

namespace {

const QString kNotOffered = QStringLiteral("File previous to AutoCAD 13. Not preview available.");
const QString kCorrupted = QStringLiteral("! Corrupted file !");

// A slide a test acts on stays on show however slow the machine; a failure to end the pause
// holds the test until its time-out.
constexpr auto kLongUnit = 1h;

kvxtest::Bytes drawing(const char* header) {
    return DwgBuilder(header)
        .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(40, 20, 8), {8}))
        .build();
}

void write(const QString& path, const kvxtest::Bytes& bytes) {
    kvxtest::writeFile(QFile::encodeName(path).toStdString(), bytes);
}

bool shown(const QWidget* w) {
    return w->isVisibleTo(Form1->GroupBox2);
}

QString area() {
    const QString notice = shown(Form1->Label4) ? Form1->Label4->text() : QString();
    return QStringList{Form1->Label1->text(), Form1->Label5->text(), notice,
                       shown(Form1->DwgThumbnail1) ? "picture" : "no picture"}
        .join(" | ");
}

// Open, Erase, Report, Slide and Stop: "idle", "running" or each one's state.
QString buttons() {
    QString s;
    for (const QToolButton* b : {Form1->SpeedButton1, Form1->SpeedButton2, Form1->SpeedButton6,
                                 Form1->SpeedButton3, Form1->SpeedButton4})
        s += QString(shown(b) ? "S" : "h") + (b->isEnabled() ? "+ " : "- ");
    return s == "S+ S+ S+ S+ h- " ? "idle" : s == "S- S- S- h- S+ " ? "running" : s;
}

void later(const std::function<void()>& f) {
    QTimer::singleShot(0, Form1, f);
}
void clickStop() {
    QTest::mouseClick(Form1->SpeedButton4, Qt::LeftButton);
}

// Records each slide painted while the show runs, and lets a test act on one.
struct SlideWatch : QObject {
    QStringList slides;
    QStringList buttonStates;
    std::function<void()> onSlide;
    std::function<void()> onPaint;

    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Paint || !Form1->slideShowRunning())
            return false;
        if (onPaint)
            onPaint();
        const QString now = area();
        if (slides.isEmpty() || slides.last() != now) {
            slides << now;
            buttonStates << buttons();
            if (onSlide)
                onSlide();
        }
        return false;
    }
};

} // namespace

class TestSlideShow : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowSession> session;
    std::unique_ptr<SlideWatch> watch;

    QString folder(const QString& name, const QStringList& drawings = {},
                   const char* header = "AC1015") {
        const QString p = session->fx.desktop() + "/" + name;
        QDir().mkpath(p);
        for (const QString& d : drawings)
            write(p + "/" + d, drawing(header));
        return p;
    }
    void startOn(const QString& dir) {
        kvx::createForms({});
        QVERIFY(Form1->ShellTreeView1->selectPath(dir));
        Form1->installEventFilter(watch.get());
    }
    void slide() { QTest::mouseClick(Form1->SpeedButton3, Qt::LeftButton); }
    // A show whose first slide stays until `act`, run from the event loop, ends it.
    void slideActingOnTheFirst(const std::function<void()>& act) {
        TForm1::SlidePauseUnit = kLongUnit;
        watch->onSlide = [act] { later(act); };
        slide();
    }

private slots:
    void init() {
        session = std::make_unique<WindowSession>();
        watch = std::make_unique<SlideWatch>();
    }
    void cleanup() {
        TForm1::SlidePauseUnit = 250ms;
        session.reset();
    }

    void showsFromTheSelectedDrawingToTheLast_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("stop"); // Stop clicked on the first slide
        QTest::addColumn<QList<int>>("slides");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("every state, the unreadable one after a 2000 one")
            << 0 << false << QList<int>{0, 1, 2, 3, 4} << 4;
        QTest::newRow("the third of five") << 2 << false << QList<int>{2, 3, 4} << 4;
        QTest::newRow("the last one alone") << 4 << false << QList<int>{4} << 4;
        // Stop shows the drawing the show had moved on to, so that every command acts on it.
        QTest::newRow("stopped on a middle slide") << 2 << true << QList<int>{2} << 3;
        QTest::newRow("stopped on the last slide") << 4 << true << QList<int>{4} << 4;
    }
    void showsFromTheSelectedDrawingToTheLast() {
        QFETCH(int, start);
        QFETCH(bool, stop);
        QFETCH(QList<int>, slides);
        QFETCH(int, selectedAfter);
        const QString dir = folder("plans", {"a.dwg", "b.dwg"});
        kvxtest::Bytes damaged = drawing("AC1018");
        kvxtest::put32(damaged, 0x0D, 0xFFFFFF00u); // image address far past the end
        write(dir + "/c.dwg", DwgBuilder("AC1032").withoutImageSection().build());
        write(dir + "/d.dwg", damaged);
        write(dir + "/e.dwg", drawing("AC1009"));
        const QStringList label{"Version 2000/2000i/2002", "Unknown version",
                                "Version 2018 and later", "Version 2004/2005", "Version 11/12"};
        // c.dwg has no image section: its picture is the control's own "no preview".
        const QStringList notice{"", kNotOffered, "", kCorrupted, kNotOffered};
        startOn(dir);
        QFile::remove(dir + "/b.dwg"); // listed, but no longer readable
        TForm1::SlidePauseUnit = stop ? kLongUnit : 1ms;
        if (stop)
            watch->onSlide = [] { later(clickStop); };
        Form1->FileListBox1->setItemIndex(start);

        slide();

        const auto onShow = [&](int i) {
            return QStringList{dir + "/" + QChar('a' + i) + ".dwg", label[i], notice[i],
                               notice[i].isEmpty() ? "picture" : "no picture"}
                .join(" | ");
        };
        QStringList want;
        for (int i : slides)
            want << onShow(i);
        QCOMPARE(watch->slides, want);
        QCOMPARE(watch->buttonStates, QStringList(slides.size(), "running"));
        QCOMPARE(Form1->FileListBox1->itemIndex(), selectedAfter);
        QCOMPARE(QString::fromStdString(kvx::CurrentVersionLabel), label[selectedAfter]);
        QCOMPARE(area(), onShow(selectedAfter)); // the selected drawing is the one on show
        QCOMPARE(CurrentDrawingPath, onShow(selectedAfter).section(" | ", 0, 0));
        QCOMPARE(buttons(), QStringLiteral("idle"));
        QVERIFY(!Form1->slideShowRunning());
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
    }

    // After Stop, the path line, the picture and every command name the same drawing.
    void afterStopTheCommandsActOnTheDrawingShown() {
        const QString dir = folder("stopped", {"a.dwg", "b.dwg", "c.dwg"});
        startOn(dir);
        Form1->CheckBox1->setChecked(false); // Erase asks nothing
        slideActingOnTheFirst(clickStop);
        QCOMPARE(buttons(), QStringLiteral("idle"));
        const QString shownPath = Form1->Label1->text();
        QCOMPARE(Form1->FileListBox1->selectedPath(), shownPath);
        QCOMPARE(CurrentDrawingPath, shownPath); // the drawing Open hands over
        QTest::mouseClick(Form1->SpeedButton6, Qt::LeftButton);
        QCOMPARE(QDir(dir).entryList({"*.htm"}),
                 QStringList{QFileInfo(shownPath).fileName() + ".htm"});
        QTest::mouseClick(Form1->SpeedButton2, Qt::LeftButton);
        QVERIFY(!QFile::exists(shownPath));
        QCOMPARE(QDir(dir).entryList({"*.dwg"}).size(), 2);
    }

    // A double click on Stop: its second click lands on Slide, back in Stop's place, before
    // the stopped show has returned. Slide waits until it has, so no show starts, and a close
    // then ends the program.
    void stopThenSlideInOnePassStartsNoShow() {
        startOn(folder("race", {"a.dwg", "b.dwg", "c.dwg"}));
        QString afterStop;
        bool showAfterRace = false;
        QObject probe; // its timer runs only while something still waits in a pause
        slideActingOnTheFirst([&] {
            watch->onSlide = nullptr;
            clickStop();
            afterStop = buttons();
            QTimer::singleShot(0, &probe, [&] {
                if ((showAfterRace = Form1->slideShowRunning()))
                    Form1->close();
            });
            slide();
        });
        QVERIFY(!showAfterRace);
        QCOMPARE(afterStop, QStringLiteral("S- S- S- S- h- "));
        QVERIFY(!Form1->slideShowRunning());
        QVERIFY(Form1->Busy.idle());
        QCOMPARE(watch->slides.size(), 1);
        QCOMPARE(buttons(), QStringLiteral("idle"));
        Form1->close();
        QVERIFY(!Form1->isVisible());
        QVERIFY(!Form1->TrayIcon1);
    }

    void emptyListChangesNothing() {
        startOn(folder("empty"));
        slide();
        QVERIFY(watch->slides.isEmpty());
        QCOMPARE(buttons(), QStringLiteral("idle"));
        QVERIFY(!shown(Form1->Label5));
        QCOMPARE(Form1->Label1->text(), QString());
    }

    void windowStaysLiveDuringAPause() {
        startOn(folder("live", {"a.dwg"}));
        bool timerFired = false, repainted = false;
        slideActingOnTheFirst([&] {
            timerFired = true;
            QTest::mouseClick(Form1->CheckBox3, Qt::LeftButton); // Zoom
            Form1->PageControl1->setCurrentWidget(Form1->TabSheet2);
            Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
            watch->onPaint = [&] {
                watch->onPaint = nullptr;
                repainted = true;
                later(clickStop);
            };
            Form1->update();
        });
        QVERIFY(timerFired);
        QVERIFY(repainted);
        QVERIFY(Form1->CheckBox3->isChecked());
        QCOMPARE(watch->slides.size(), 1);
        QCOMPARE(buttons(), QStringLiteral("idle"));
    }

    void folderChangeEndsTheShow() {
        const QString second = folder("second", {"x.dwg", "y.dwg"}, "AC1018");
        startOn(folder("first", {"a.dwg", "b.dwg", "c.dwg"}));
        slideActingOnTheFirst([&] { QVERIFY(Form1->ShellTreeView1->selectPath(second)); });
        QCOMPARE(watch->slides.size(), 1);
        QCOMPARE(listedNames(Form1->FileListBox1), (QStringList{"x.dwg", "y.dwg"}));
        QCOMPARE(Form1->FileListBox1->itemIndex(), 0);
        QCOMPARE(area(), second + "/x.dwg | Version 2004/2005 |  | picture");
        QCOMPARE(CurrentDrawingPath, second + "/x.dwg");
        QCOMPARE(buttons(), QStringLiteral("idle"));
        QVERIFY(!Form1->slideShowRunning());
    }

    void closingEndsTheShowFirst_data() {
        QTest::addColumn<bool>("fromTray");
        QTest::newRow("the window closed") << false;
        QTest::newRow("Exit in the tray menu") << true;
    }
    void closingEndsTheShowFirst() {
        QFETCH(bool, fromTray);
        startOn(folder("closing", {"a.dwg", "b.dwg", "c.dwg"}));
        struct HideWatch : QObject {
            QString atHide;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Hide)
                    atHide = QString(Form1->slideShowRunning() ? "running " : "ended ") + buttons();
                return false;
            }
        } hide;
        Form1->installEventFilter(&hide);
        slideActingOnTheFirst(
            [&] { fromTray ? Form1->Apropos1->trigger() : void(Form1->close()); });
        Form1->removeEventFilter(&hide);
        QCOMPARE(watch->slides.size(), 1);
        QVERIFY(!Form1->slideShowRunning());
        QVERIFY(!Form1->TrayIcon1); // the program's own ending ran
        if (!fromTray) {
            QVERIFY(!Form1->isVisible());
            QCOMPARE(hide.atHide, QStringLiteral("ended idle"));
        }
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestSlideShow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_slide_show.moc"
