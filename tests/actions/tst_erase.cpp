// Erasing drawings from the View tab on real folders.

#include "../app/window_session.h"
#include "support/dwg_builder.h"
#include "support/folder_lock.h"

#include "actions/flash_form.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/path_label.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "preview/dwg_thumbnail.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct ShowCounter : QObject {
    int shows = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

QStringList listed() {
    return listedNames(Form1->FileListBox1);
}

} // namespace

class TestErase : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowSession> session;
    ShowCounter flashes;
    QString dir;

    void startWith(const QStringList& names, bool confirm = true) {
        dir = session->fx.desktop() + "/plans";
        QDir().mkpath(dir);
        const kvxtest::Bytes dwg =
            kvxtest::DwgBuilder("AC1018")
                .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(30, 20, 4), {4}))
                .build();
        for (const QString& n : names)
            kvxtest::writeFile(QFile::encodeName(dir + "/" + n).toStdString(), dwg);
        kvx::createForms({});
        Form1->CheckBox1->setChecked(confirm);
        QVERIFY(Form1->ShellTreeView1->selectPath(dir));
        Form3->installEventFilter(&flashes);
        flashes.shows = 0;
        kvx::MessageSeam::clear();
    }
    void select(int index) {
        Form1->FileListBox1->setItemIndex(index);
        Form1->FileListBox1Click();
    }

private slots:
    void init() { session = std::make_unique<WindowSession>(); }
    void cleanup() { session.reset(); }

    void selectionAfterwards_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("erase");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("selected");
        const QStringList three{"a.dwg", "b.dwg", "c.dwg"};
        QTest::newRow("first of three") << three << 0 << QStringList{"b.dwg", "c.dwg"} << 0;
        QTest::newRow("middle of three") << three << 1 << QStringList{"a.dwg", "c.dwg"} << 1;
        QTest::newRow("last of three") << three << 2 << QStringList{"a.dwg", "b.dwg"} << 1;
        QTest::newRow("the only one") << QStringList{"a.dwg"} << 0 << QStringList() << -1;
    }
    void selectionAfterwards() {
        QFETCH(QStringList, names);
        QFETCH(int, erase);
        QFETCH(QStringList, left);
        QFETCH(int, selected);
        startWith(names);
        // The drawing's report files are not the drawing: they stay.
        QFile(dir + "/" + names[erase] + ".jpg").open(QIODevice::WriteOnly);
        QFile(dir + "/" + names[erase] + ".htm").open(QIODevice::WriteOnly);
        select(erase);
        const QString target = dir + "/" + names[erase];
        kvx::MessageSeam::setNextAnswer(kvx::MbOk);
        Form1->SpeedButton2->click();

        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Avertissement"));
        QCOMPARE(shown[0].text, "Delete file " + target);
        QCOMPARE(shown[0].buttons, kvx::MbOk | kvx::MbCancel);
        QVERIFY(!QFile::exists(target));
        QVERIFY(QFile::exists(target + ".jpg") && QFile::exists(target + ".htm"));
        QCOMPARE(listed(), left);
        // The caption counts the drawings left, as a folder change would.
        QCOMPARE(Form1->GroupBox1->title(), left.isEmpty()
                                                ? QStringLiteral(" Files ")
                                                : QStringLiteral(" Files (%1) ").arg(left.size()));
        QCOMPARE(Form1->FileListBox1->itemIndex(), selected);
        QCOMPARE(flashes.shows, 1);
        if (selected >= 0) {
            QCOMPARE(CurrentDrawingPath, dir + "/" + left[selected]);
            QCOMPARE(Form1->Label1->text(), CurrentDrawingPath);
        } else {
            // Nothing left to show: no release, no notice, no preview.
            QCOMPARE(Form1->Label1->text(), QString());
            QVERIFY(!Form1->Label4->isVisibleTo(Form1));
            QVERIFY(!Form1->Label5->isVisibleTo(Form1));
            QVERIFY(!Form1->DwgThumbnail1->isVisibleTo(Form1));
            QCOMPARE(CurrentDrawingPath, QString());
        }
    }

    void refusingDeletesNothing_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("Annuler") << int(kvx::MbCancel);
        QTest::newRow("Escape or closing") << -1;
    }
    void refusingDeletesNothing() {
        QFETCH(int, answer);
        startWith({"a.dwg", "b.dwg"});
        select(1);
        if (answer >= 0)
            kvx::MessageSeam::setNextAnswer(answer); // else auto-answered as Escape
        Form1->SpeedButton2Click();
        QVERIFY(QFile::exists(dir + "/b.dwg"));
        QCOMPARE(listed(), (QStringList{"a.dwg", "b.dwg"}));
        QCOMPARE(Form1->FileListBox1->itemIndex(), 1);
        QCOMPARE(flashes.shows, 0);
    }

    void nothingSelectedDoesNothing() {
        startWith({"a.dwg"});
        Form1->FileListBox1->setItemIndex(-1);
        Form1->SpeedButton2Click();
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        QVERIFY(QFile::exists(dir + "/a.dwg"));
        QCOMPARE(flashes.shows, 0);
    }

    void folderThatRefusesWithConfirmation() {
        startWith({"a.dwg", "b.dwg"});
        select(1);
        FolderLock lock(dir);
        if (!lock.locked())
            QSKIP("no way to make a folder refuse deletions here");
        kvx::MessageSeam::setNextAnswer(kvx::MbOk);
        Form1->SpeedButton2Click();
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1].title, QStringLiteral("Erreur"));
        QVERIFY2(shown[1].text.startsWith("File " + dir +
                                          "/b.dwg is open in AutoCAD and can't be deleted.\n"),
                 qPrintable(shown[1].text));
        QVERIFY(QFile::exists(dir + "/b.dwg"));
        QCOMPARE(Form1->FileListBox1->itemIndex(), 1);
        QCOMPARE(CurrentDrawingPath, dir + "/b.dwg");
        QCOMPARE(flashes.shows, 1);
    }

    void folderThatRefusesWithoutConfirmation() {
        startWith({"a.dwg", "b.dwg"}, false);
        select(0);
        FolderLock lock(dir);
        if (!lock.locked())
            QSKIP("no way to make a folder refuse deletions here");
        Form1->SpeedButton2Click();
        QCOMPARE(kvx::MessageSeam::shown().size(), 1); // no question, but the failure is told
        QCOMPARE(kvx::MessageSeam::shown()[0].title, QStringLiteral("Erreur"));
        QVERIFY(QFile::exists(dir + "/a.dwg"));
        QCOMPARE(listed(), (QStringList{"a.dwg", "b.dwg"}));
        QCOMPARE(Form1->FileListBox1->itemIndex(), 0);
        QCOMPARE(flashes.shows, 1);
    }

    void withoutConfirmationDeletesAtOnce() {
        startWith({"a.dwg", "b.dwg"}, false);
        select(0);
        Form1->SpeedButton2Click();
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        QCOMPARE(listed(), QStringList{"b.dwg"});
        QCOMPARE(CurrentDrawingPath, dir + "/b.dwg");
    }

    void drawingAlreadyGone() {
        startWith({"a.dwg", "b.dwg"});
        select(0);
        QFile::remove(dir + "/a.dwg");
        kvx::MessageSeam::setNextAnswer(kvx::MbOk);
        Form1->SpeedButton2Click();
        // The system's reason on the second line; the list keeps what it showed.
        QCOMPARE(kvx::MessageSeam::shown().size(), 2);
        QCOMPARE(kvx::MessageSeam::shown()[1].text,
                 "File " + dir + "/a.dwg is open in AutoCAD and can't be deleted.\n" +
                     QString::fromLocal8Bit(std::strerror(ENOENT)));
        QCOMPARE(Form1->FileListBox1->itemIndex(), 0);
    }

    // A listed drawing replaced by a folder with something in it: no one, root included,
    // can delete that as a file, so the failure is real on every machine.
    void aFailedDeleteGivesTheSystemsReason_data() {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("confirmation on") << true;
        QTest::newRow("confirmation off") << false;
    }
    void aFailedDeleteGivesTheSystemsReason() {
        QFETCH(bool, confirm);
        startWith({"a.dwg", "b.dwg"}, confirm);
        select(1);
        const QString target = dir + "/b.dwg";
        QVERIFY(QFile::remove(target));
        QVERIFY(QDir().mkpath(target + "/inside"));
        if (confirm)
            kvx::MessageSeam::setNextAnswer(kvx::MbOk);
        Form1->SpeedButton2Click();

        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), confirm ? 2 : 1); // the question, when asked, then the error
        QCOMPARE(shown.last().title, QStringLiteral("Erreur"));
        QCOMPARE(shown.last().buttons, int(kvx::MbOk));
        QCOMPARE(shown.last().text, "File " + target +
                                        " is open in AutoCAD and can't be deleted.\n" +
                                        QString::fromLocal8Bit(std::strerror(ENOTEMPTY)));
        QVERIFY(QDir(target + "/inside").exists());
        // The list is re-read only after a delete that did not ask first, and drops the folder.
        QCOMPARE(listed(), (confirm ? QStringList{"a.dwg", "b.dwg"} : QStringList{"a.dwg"}));
        QCOMPARE(flashes.shows, 1);
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestErase test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_erase.moc"
