// The slide show on folders of generated drawings: what each slide shows, Stop, and what
// happens around a show (a folder change, closing the window, input during a pause).

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

// A slide that a test acts on stays on show, however slow the machine: a Stop or a folder
// change that failed to end the pause would hold the test until its time-out.
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

// What the preview area shows, one line.
QString area() {
    const QString notice = shown(Form1->Label4) ? Form1->Label4->text() : QString();
    return QStringList{Form1->Label1->text(), Form1->Label5->text(), notice,
                       shown(Form1->DwgThumbnail1) ? "picture" : "no picture"}
        .join(" | ");
}

// The buttons: "idle", "running" or what they are when neither.
QString buttons() {
    const auto state = [](const QToolButton* b) {
        return QString(shown(b) ? "shown" : "hidden") + (b->isEnabled() ? "+on" : "+off");
    };
    const QString open = state(Form1->SpeedButton1), erase = state(Form1->SpeedButton2),
                  report = state(Form1->SpeedButton6), slide = state(Form1->SpeedButton3),
                  stop = state(Form1->SpeedButton4);
    if (open == "shown+on" && erase == open && report == open && slide == open &&
        stop == "hidden+off")
        return "idle";
    if (open == "shown+off" && erase == open && report == open && slide == "hidden+off" &&
        stop == "shown+on")
        return "running";
    return QStringList{open, erase, report, slide, stop}.join(',');
}

void later(const std::function<void()>& f) {
    QTimer::singleShot(0, Form1, f);
}
void clickStop() {
    QTest::mouseClick(Form1->SpeedButton4, Qt::LeftButton);
}

// Records each slide as it is painted while the show runs, and lets a test act on one.
struct SlideWatch : QObject {
    QStringList slides;
    QStringList buttonStates;
    std::function<void(const QString& path)> onSlide;
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
                onSlide(Form1->Label1->text());
        }
        return false;
    }
};

} // namespace

class TestSlideShow : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowSession> session;
    SlideWatch watch;

    QString folder(const QString& name) {
        const QString p = session->fx.desktop() + "/" + name;
        QDir().mkpath(p);
        return p;
    }
    void startOn(const QString& dir) {
        kvx::createForms({});
        QVERIFY(Form1->ShellTreeView1->selectPath(dir));
        Form1->installEventFilter(&watch);
    }
    void slide() { QTest::mouseClick(Form1->SpeedButton3, Qt::LeftButton); }

private slots:
    void init() {
        session = std::make_unique<WindowSession>();
        watch.slides.clear();
        watch.buttonStates.clear();
        watch.onSlide = nullptr;
        watch.onPaint = nullptr;
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
        QTest::newRow("stopped on a middle slide") << 2 << true << QList<int>{2} << 3;
        QTest::newRow("stopped on the last slide") << 4 << true << QList<int>{4} << 4;
    }
    void showsFromTheSelectedDrawingToTheLast() {
        QFETCH(int, start);
        QFETCH(bool, stop);
        QFETCH(QList<int>, slides);
        QFETCH(int, selectedAfter);
        const QString dir = folder("plans");
        kvxtest::Bytes damaged = drawing("AC1018");
        kvxtest::put32(damaged, 0x0D, 0xFFFFFF00u); // image address far past the end
        write(dir + "/a.dwg", drawing("AC1015"));
        write(dir + "/b.dwg", drawing("AC1015"));
        write(dir + "/c.dwg", DwgBuilder("AC1032").withoutImageSection().build());
        write(dir + "/d.dwg", damaged);
        write(dir + "/e.dwg", drawing("AC1009"));
        // Each drawing's slide and the label its header gives.
        const QStringList label{"Version 2000/2000i/2002", "Unknown version",
                                "Version 2018 and later", "Version 2004/2005", "Version 11/12"};
        const QStringList expected{
            dir + "/a.dwg | " + label[0] + " |  | picture",
            dir + "/b.dwg | " + label[1] + " | " + kNotOffered + " | no picture",
            dir + "/c.dwg | " + label[2] + " |  | picture", // the control notes "no preview"
            dir + "/d.dwg | " + label[3] + " | " + kCorrupted + " | no picture",
            dir + "/e.dwg | " + label[4] + " | " + kNotOffered + " | no picture"};
        startOn(dir);
        QFile::remove(dir + "/b.dwg"); // listed, but no longer readable
        TForm1::SlidePauseUnit = stop ? kLongUnit : 1ms;
        if (stop)
            watch.onSlide = [](const QString&) { later(clickStop); };
        Form1->FileListBox1->setItemIndex(start);

        slide();

        QStringList want;
        for (int i : slides)
            want << expected[i];
        QCOMPARE(watch.slides, want);
        QCOMPARE(watch.buttonStates, QStringList(slides.size(), "running"));
        // Stopped: the next drawing is selected and identified, the stopped one stays on show.
        QCOMPARE(Form1->FileListBox1->itemIndex(), selectedAfter);
        QCOMPARE(QString::fromStdString(kvx::CurrentVersionLabel), label[selectedAfter]);
        QCOMPARE(area(), want.last());
        QCOMPARE(CurrentDrawingPath, want.last().section(" | ", 0, 0));
        QCOMPARE(buttons(), QStringLiteral("idle"));
        QVERIFY(!Form1->slideShowRunning());
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
    }

    void emptyListChangesNothing() {
        startOn(folder("empty"));
        slide();
        QVERIFY(watch.slides.isEmpty());
        QCOMPARE(buttons(), QStringLiteral("idle"));
        QVERIFY(!shown(Form1->Label5));
        QCOMPARE(Form1->Label1->text(), QString());
    }

    void windowStaysLiveDuringAPause() {
        const QString dir = folder("live");
        write(dir + "/a.dwg", drawing("AC1015"));
        startOn(dir);
        TForm1::SlidePauseUnit = kLongUnit;
        bool timerFired = false, repainted = false;
        watch.onSlide = [&](const QString&) {
            later([&] {
                timerFired = true;
                QTest::mouseClick(Form1->CheckBox3, Qt::LeftButton); // Zoom
                Form1->PageControl1->setCurrentWidget(Form1->TabSheet2);
                Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
                watch.onPaint = [&] {
                    watch.onPaint = nullptr;
                    repainted = true;
                    later(clickStop);
                };
                Form1->update();
            });
        };

        slide();

        QVERIFY(timerFired);
        QVERIFY(repainted);
        QVERIFY(Form1->CheckBox3->isChecked());
        QVERIFY(!Form1->DwgThumbnail1->noMagnify());
        QVERIFY(session->fx.hive().contains("\"zoom\"=\"1\"\r\n"));
        QCOMPARE(watch.slides.size(), 1);
        QCOMPARE(buttons(), QStringLiteral("idle"));
    }

    void folderChangeEndsTheShow() {
        const QString first = folder("first"), second = folder("second");
        for (const char* name : {"a.dwg", "b.dwg", "c.dwg"})
            write(first + "/" + name, drawing("AC1015"));
        for (const char* name : {"x.dwg", "y.dwg"})
            write(second + "/" + name, drawing("AC1018"));
        startOn(first);
        TForm1::SlidePauseUnit = kLongUnit;
        watch.onSlide = [&](const QString&) {
            later([&] { QVERIFY(Form1->ShellTreeView1->selectPath(second)); });
        };

        slide();

        QCOMPARE(watch.slides.size(), 1);
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
        const QString dir = folder("closing");
        for (const char* name : {"a.dwg", "b.dwg", "c.dwg"})
            write(dir + "/" + name, drawing("AC1015"));
        startOn(dir);
        TForm1::SlidePauseUnit = kLongUnit;
        watch.onSlide = [&](const QString&) {
            later([&] {
                if (fromTray)
                    Form1->Apropos1->trigger();
                else
                    Form1->close();
            });
        };
        struct HideWatch : QObject {
            QString atHide;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Hide)
                    atHide = QString(Form1->slideShowRunning() ? "running " : "ended ") + buttons();
                return false;
            }
        } hide;
        Form1->installEventFilter(&hide);

        slide();

        Form1->removeEventFilter(&hide);
        QCOMPARE(watch.slides.size(), 1);
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
