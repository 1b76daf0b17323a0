// Browsing folders of generated drawings on the View tab: the list, its caption and every
// state of the preview area.

#include "../app/window_session.h"
#include "support/dwg_builder.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/path_label.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "files/file_name_text.h"
#include "preview/dwg_thumbnail.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <functional>
#include <iterator>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using kvxtest::DwgBuilder;

namespace {

const QString kNotOffered = QStringLiteral("File previous to AutoCAD 13. Not preview available.");
const QString kCorrupted = QStringLiteral("! Corrupted file !");

kvxtest::Bytes drawing(const char* header = "AC1015") {
    return DwgBuilder(header)
        .headerData()
        .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(40, 20, 8), {8}))
        .build();
}

void write(const QString& path, const kvxtest::Bytes& bytes) {
    kvxtest::writeFile(QFile::encodeName(path).toStdString(), bytes);
}

QStringList listed() {
    return listedNames(Form1->FileListBox1);
}

struct AreaState {
    bool thumbnail;
    QString notice;  // empty: Label4 hidden
    QString version; // empty: Label5 hidden
    QString path;
};

void checkArea(const AreaState& s) {
    QCOMPARE(Form1->DwgThumbnail1->isVisibleTo(Form1->GroupBox2), s.thumbnail);
    QCOMPARE(Form1->Label4->isVisibleTo(Form1->GroupBox2), !s.notice.isEmpty());
    if (!s.notice.isEmpty())
        QCOMPARE(Form1->Label4->text(), s.notice);
    QCOMPARE(Form1->Label5->isVisibleTo(Form1->GroupBox2), !s.version.isEmpty());
    if (!s.version.isEmpty())
        QCOMPARE(Form1->Label5->text(), s.version);
    QCOMPARE(Form1->Label1->text(), s.path);
}

} // namespace

class TestBrowse : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowSession> session;
    const SettingsFixture& fx() const { return session->fx; }
    QString folder(const QString& name) {
        const QString p = fx().desktop() + "/" + name;
        QDir().mkpath(p);
        return p;
    }
    void startOn(const QString& path) {
        kvx::createForms({});
        QVERIFY(Form1->ShellTreeView1->selectPath(path));
    }

private slots:
    void init() { session = std::make_unique<WindowSession>(); }
    void cleanup() { session.reset(); }

    void startsOnTheDesktopsDrawings() {
        write(fx().desktop() + "/site.dwg", drawing());
        kvx::createForms({});
        QCOMPARE(Form1->ShellTreeView1->selectedPath(), fx().desktop());
        QCOMPARE(listed(), QStringList{"site.dwg"});
        QCOMPARE(Form1->GroupBox1->title(), QStringLiteral(" Files (1) "));
        QCOMPARE(CurrentDrawingPath, fx().desktop() + "/site.dwg");
        QCOMPARE(QDir::currentPath(), fx().desktop());
    }

    // A batch reads the list on another thread, the window answering meanwhile: the same list.
    void listsOnlyVisibleDrawingsSortedByName_data() {
        QTest::addColumn<bool>("answering");
        QTest::newRow("read at once") << false;
        QTest::newRow("read answering") << true;
    }
    void listsOnlyVisibleDrawingsSortedByName() {
        QFETCH(bool, answering);
        const QString dir = folder("plans");
        for (const char* name : {"b.dwg", "PLAN.DWG", "a.Dwg", ".x.dwg", "notes.txt", "c.dwg.bak"})
            write(dir + "/" + name, drawing());
        QDir().mkpath(dir + "/folder.dwg"); // a folder is no drawing
        startOn(dir);
        if (answering) {
            Form1->FileListBox1->setReadAnswering(true);
            Form1->ShellTreeView1Change();
        }
        QCOMPARE(listed(), (QStringList{"a.Dwg", "b.dwg", "PLAN.DWG"}));
        QCOMPARE(Form1->GroupBox1->title(), QStringLiteral(" Files (3) "));
        QCOMPARE(Form1->FileListBox1->itemIndex(), 0);
        checkArea({true, {}, "Version 2000/2000i/2002", dir + "/a.Dwg"});
        QVERIFY(Form1->DwgThumbnail1->hasPicture());
        QCOMPARE(Form1->DwgThumbnail1->dwgFileName(), dir + "/a.Dwg");
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
    }

    // A folder picked while another is read with the window answering: the later pick's list
    // and working folder stand, though the earlier read ends after it.
    void folderPickedDuringAReadKeepsItsList() {
        const QString first = folder("first"), second = folder("second");
        write(first + "/a.dwg", drawing());
        for (const char* name : {"b.dwg", "c.dwg"})
            write(second + "/" + name, drawing());
        startOn(first);
        TFileListBox* list = Form1->FileListBox1;
        list->setReadAnswering(true);
        QTimer::singleShot(0, list, [list, second] { list->setDirectory(second); });
        list->setDirectory(first);
        QCOMPARE(listed(), (QStringList{"b.dwg", "c.dwg"}));
        QCOMPARE(QDir::currentPath(), second);
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
    }

    // Stepping through a long list, the scroll bar on screen always shows where the slider is,
    // yet it is not repainted for the steps that do not move the slider by a pixel.
    void scrollBarShowsTheSliderWithoutARepaintPerRow() {
        const QString dir = folder("many");
        const int rows = 600;
        for (int i = 0; i < rows; ++i)
            write(dir + QStringLiteral("/plan %1.dwg").arg(i, 3, 10, QLatin1Char('0')), {'x'});
        startOn(dir);
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        QScrollBar* bar = Form1->FileListBox1->verticalScrollBar();
        auto slider = [bar] {
            QStyleOptionSlider option;
            option.initFrom(bar);
            option.orientation = bar->orientation();
            option.minimum = bar->minimum();
            option.maximum = bar->maximum();
            option.sliderPosition = option.sliderValue = bar->value();
            option.pageStep = bar->pageStep();
            option.singleStep = bar->singleStep();
            return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                QStyle::SC_ScrollBarSlider, bar);
        };
        struct PaintWatch : QObject {
            std::function<QRect()> slider;
            QRect painted;
            int paints = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) {
                    painted = slider();
                    ++paints;
                }
                return false;
            }
        } watch;
        watch.slider = slider;
        QCoreApplication::sendPostedEvents(Form1, QEvent::UpdateRequest);
        watch.painted = slider(); // as the exposed window shows it
        bar->installEventFilter(&watch);
        int moves = 0;
        QRect before = slider();
        for (int i = 0; i < rows; ++i) {
            Form1->FileListBox1->setItemIndex(i);
            QCoreApplication::sendPostedEvents(Form1, QEvent::UpdateRequest);
            moves += slider() != before;
            before = slider();
            QCOMPARE(watch.painted, before);
        }
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY2(moves > 10 && watch.paints <= moves + 2,
                 qPrintable(QStringLiteral("%1 moves, %2 paints").arg(moves).arg(watch.paints)));
    }

    void folderWithoutDrawings() {
        const QString dir = folder("empty");
        write(dir + "/readme.txt", {'x'});
        startOn(dir);
        QCOMPARE(listed(), QStringList());
        QCOMPARE(Form1->GroupBox1->title(), QStringLiteral(" Files "));
        checkArea({false, {}, {}, {}});
        // The selection handler run on the empty list names no drawing either.
        Form1->FileListBox1Click();
        checkArea({false, {}, {}, {}});
    }

    void virtualNodeClearsTheAreaButKeepsTheCount() {
        const QString dir = folder("two");
        write(dir + "/a.dwg", drawing());
        write(dir + "/b.dwg", drawing());
        startOn(dir);
        QCOMPARE(Form1->GroupBox1->title(), QStringLiteral(" Files (2) "));
        // The "Computer" node has no folder of its own.
        auto* model = qobject_cast<QStandardItemModel*>(Form1->ShellTreeView1->model());
        QStandardItem* top = model->item(0);
        QModelIndex computer;
        for (int i = 0; i < top->rowCount(); ++i)
            if (top->child(i)->text() == QLatin1String("Computer"))
                computer = top->child(i)->index();
        QVERIFY(computer.isValid());
        Form1->ShellTreeView1->setCurrentIndex(computer);
        QCOMPARE(Form1->ShellTreeView1->selectedPath(), QString());
        QCOMPARE(listed(), QStringList());
        checkArea({false, {}, {}, {}});
        QCOMPARE(Form1->GroupBox1->title(), QStringLiteral(" Files (2) "));
    }

    void everyStateOfThePreviewArea_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("thumbnail");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("version");
        auto b = [](const kvxtest::Bytes& v) {
            return QByteArray(reinterpret_cast<const char*>(v.data()), int(v.size()));
        };
        QTest::newRow("picture") << b(drawing("AC1018")) << true << QString()
                                 << "Version 2004/2005";
        QTest::newRow("early release")
            << b(drawing("AC1009")) << false << kNotOffered << "Version 11/12";
        QTest::newRow("no picture stored") << b(DwgBuilder("AC1032").withoutImageSection().build())
                                           << true << QString() << "Version 2018 and later";
        kvxtest::Bytes damaged = drawing("AC1015");
        kvxtest::put32(damaged, 0x0D, 0xFFFFFF00u); // image address far past the end
        QTest::newRow("refused by the control")
            << b(damaged) << false << kCorrupted << "Version 2000/2000i/2002";
        QTest::newRow("empty file") << QByteArray() << false << kNotOffered << "Unknown version";
    }
    void everyStateOfThePreviewArea() {
        QFETCH(QByteArray, content);
        QFETCH(bool, thumbnail);
        QFETCH(QString, notice);
        QFETCH(QString, version);
        const QString dir = folder("one");
        QFile f(dir + "/x.dwg");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        startOn(dir);
        checkArea({thumbnail, notice, version, dir + "/x.dwg"});
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        if (!notice.isEmpty()) {
            // A notice is black on white, on screen and so in a report's picture.
            const QImage area = Form1->grabPreviewArea();
            QCOMPARE(area.pixelColor(2, 2), QColor(Qt::white));
            QCOMPARE(area.pixelColor(area.width() - 3, area.height() - 3), QColor(Qt::white));
            bool black = false;
            for (int y = 0; y < area.height() && !black; ++y)
                for (int x = 0; x < area.width() && !black; ++x)
                    black = area.pixelColor(x, y) == QColor(Qt::black);
            QVERIFY(black);
        }
    }

    void drawingGoneSinceTheListWasRead() {
        const QString dir = folder("gone");
        write(dir + "/a.dwg", drawing("AC1018"));
        write(dir + "/b.dwg", drawing());
        startOn(dir);
        QFile::remove(dir + "/b.dwg");
        QTest::keyClick(Form1->FileListBox1, Qt::Key_Down);
        checkArea({false, kNotOffered, "Unknown version", dir + "/b.dwg"});
    }

    void arrowKeysShowEachDrawing() {
        const QString dir = folder("keys");
        write(dir + "/a.dwg", drawing("AC1014"));
        write(dir + "/b.dwg", drawing("AC1009"));
        write(dir + "/c.dwg", drawing("AC1018"));
        startOn(dir);
        Form1->FileListBox1->setFocus();
        QTest::keyClick(Form1->FileListBox1, Qt::Key_Down);
        checkArea({false, kNotOffered, "Version 11/12", dir + "/b.dwg"});
        QTest::keyClick(Form1->FileListBox1, Qt::Key_Down);
        checkArea({true, {}, "Version 2004/2005", dir + "/c.dwg"});
        QTest::keyClick(Form1->FileListBox1, Qt::Key_Home);
        checkArea({true, {}, "Version 14.0/14.01", dir + "/a.dwg"});
    }

    void aNameCutByTheListShowsWholeAsATip() {
        const QString dir = folder("tips");
        const QString longName =
            QStringLiteral("ground floor plan, east wing, revision 14 (approved).dwg");
        write(dir + "/a.dwg", drawing());
        write(dir + "/" + longName, drawing());
        startOn(dir);
        Form1->show();
        TFileListBox* list = Form1->FileListBox1;
        auto tipOver = [list](int row) {
            const QRect rect = list->visualRect(list->model()->index(row, 0));
            QHelpEvent help(QEvent::ToolTip, rect.center(),
                            list->viewport()->mapToGlobal(rect.center()));
            QCoreApplication::sendEvent(list->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tipOver(0), QString()); // a name that fits has no tip
        QCOMPARE(tipOver(1), longName);
    }

    void nothingSelected() {
        const QString dir = folder("none");
        write(dir + "/a.dwg", drawing("AC1014"));
        startOn(dir);
        Form1->FileListBox1->setItemIndex(-1);
        Form1->FileListBox1Click();
        checkArea({false, kNotOffered, "Unknown version", QString()});
    }

    void zoomSwitchesWithoutReadingAgain() {
        const QString dir = folder("zoom");
        write(dir + "/a.dwg", drawing());
        startOn(dir);
        QVERIFY(Form1->DwgThumbnail1->noMagnify());
        QFile::remove(dir + "/a.dwg"); // reading it again would fail
        Form1->CheckBox3->setChecked(true);
        QVERIFY(!Form1->DwgThumbnail1->noMagnify());
        QVERIFY(Form1->DwgThumbnail1->hasPicture());
        QVERIFY(fx().hive().contains("\"zoom\"=\"1\"\r\n"));
        Form1->CheckBox3->setChecked(false);
        QVERIFY(Form1->DwgThumbnail1->noMagnify());
        QVERIFY(fx().hive().contains("\"zoom\"=\"0\"\r\n"));
    }

    void folderThatCannotBeReadIsReported_data() { listsOnlyVisibleDrawingsSortedByName_data(); }
    void folderThatCannotBeReadIsReported() {
        QFETCH(bool, answering);
        const QString dir = folder("vanishing");
        write(fx().desktop() + "/site.dwg", drawing()); // on show before the error
        kvx::createForms({});
        Form1->FileListBox1->setReadAnswering(answering);
        QDir().rmdir(dir); // the tree still shows it: it never refreshes on its own
        // Its node is still there; choosing it reports the error and the program goes on.
        QVERIFY(Form1->ShellTreeView1->selectPath(dir));
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Erreur"));
        QVERIFY2(shown[0].text.contains(dir), qPrintable(shown[0].text));
        QCOMPARE(listed(), QStringList());
        checkArea({false, {}, {}, {}});
        QCOMPARE(Form1->GroupBox1->title(), QStringLiteral(" Files "));
    }

    void namesThatAreNotUtf8AreReachedByTheirBytes() {
        // A folder and drawings named in Latin-1, as copied from an old Windows archive:
        // "d\xe9p" holds "plan\xe9.dwg" and "plan\xe8.dwg", which show alike.
        const std::string parent = QFile::encodeName(folder("archive")).toStdString();
        const std::string dir = parent + "/d\xe9p";
        QVERIFY(QDir().mkpath(QFile::decodeName(QByteArray::fromStdString(parent))));
        QCOMPARE(::mkdir(dir.c_str(), 0755), 0);
        const std::string first = dir + "/plan\xe8.dwg", second = dir + "/plan\xe9.dwg";
        // Qt cannot remove such names: the test clears them itself.
        struct Clear {
            std::string dir;
            ~Clear() {
                for (const char* n :
                     {"/plan\xe8.dwg", "/plan\xe9.dwg", "/plan\xe9.dwg.jpg", "/plan\xe9.dwg.htm"})
                    ::unlink((dir + n).c_str());
                ::rmdir(dir.c_str());
            }
        } clear{dir};
        kvxtest::writeFile(first, drawing("AC1015"));
        kvxtest::writeFile(second, drawing("AC1018"));
        kvx::createForms({});
        TShellTreeView* tree = Form1->ShellTreeView1;
        QVERIFY(tree->selectPath(QFile::decodeName(QByteArray::fromStdString(parent))));
        // Into the one sub-folder by keys: the tree holds its name's bytes.
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Right);
        QTest::keyClick(tree, Qt::Key_Right);
        QCOMPARE(tree->selectedNativePath(), dir);
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        const QString shownDir = kvx::displayName(dir);
        QCOMPARE(shownDir, QFile::decodeName(QByteArray::fromStdString(parent)) +
                               QStringLiteral("/d\uFFFDp"));
        QCOMPARE(listed(),
                 (QStringList{QStringLiteral("plan\uFFFD.dwg"), QStringLiteral("plan\uFFFD.dwg")}));
        QCOMPARE(Form1->GroupBox1->title(), QStringLiteral(" Files (2) "));
        // Each shows its own release and picture.
        checkArea(
            {true, {}, "Version 2000/2000i/2002", shownDir + QStringLiteral("/plan\uFFFD.dwg")});
        QCOMPARE(CurrentDrawingFile, first);
        QVERIFY(Form1->DwgThumbnail1->hasPicture());
        Form1->FileListBox1->setFocus();
        QTest::keyClick(Form1->FileListBox1, Qt::Key_Down);
        checkArea({true, {}, "Version 2004/2005", shownDir + QStringLiteral("/plan\uFFFD.dwg")});
        QCOMPARE(CurrentDrawingFile, second);
        QVERIFY(Form1->DwgThumbnail1->hasPicture());

        // The report goes beside it under its own bytes, and the page's link finds the picture.
        Form1->SpeedButton6Click();
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        QVERIFY(!kvxtest::readFile(second + ".jpg").empty());
        const kvxtest::Bytes page = kvxtest::readFile(second + ".htm");
        const std::string text(page.begin(), page.end());
        QVERIFY2(text.find("<img src=\"plan%E9.dwg.jpg\"") != std::string::npos, text.c_str());
        QCOMPARE(listed().size(), 2);

        // Erase removes that file and no other.
        Form1->CheckBox1->setChecked(true);
        kvx::MessageSeam::setNextAnswer(kvx::MbOk);
        Form1->SpeedButton2Click();
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, "Delete file " + shownDir + QStringLiteral("/plan\uFFFD.dwg"));
        QVERIFY(::access(second.c_str(), F_OK) != 0);
        QVERIFY(::access(first.c_str(), F_OK) == 0);
        QCOMPARE(Form1->GroupBox1->title(), QStringLiteral(" Files (1) "));
        QCOMPARE(CurrentDrawingFile, first);
        // Other tabs set the tree's folder by its bytes too.
        QVERIFY(tree->selectNativePath(parent));
        QCOMPARE(listed(), QStringList());
        QVERIFY(tree->selectNativePath(dir + "/"));
        QCOMPARE(tree->selectedNativePath(), dir);
        QCOMPARE(CurrentDrawingFile, first);
    }

    // Names that are not plain text show with their control characters escaped, bytes that
    // are not UTF-8 as U+FFFD, and each row still gives its file's own bytes.
    void oddNamesShowEscapedAndKeepTheirBytes() {
        const struct {
            const char* bytes;
            QString shown;
        } names[] = {
            {"tab\t.dwg", QStringLiteral("tab\\x09.dwg")},
            {"bell\x07.dwg", QStringLiteral("bell\\x07.dwg")},
            {"x\u202Egwd.dwg", QStringLiteral("x\\xE2\\x80\\xAEgwd.dwg")},
            {"caf\xc3\xa9.dwg", QStringLiteral("caf\u00e9.dwg")},
            {"latin\xe9.dwg", QStringLiteral("latin\uFFFD.dwg")},
            {"cut\xe2\x82.dwg", QStringLiteral("cut\uFFFD\uFFFD.dwg")},
            {"half\xed\xa0\x80.dwg", QStringLiteral("half\uFFFD\uFFFD\uFFFD.dwg")},
        };
        const std::string dir = QFile::encodeName(folder("odd")).toStdString();
        // Qt cannot remove every such name: the test clears them itself.
        struct Clear {
            std::string dir;
            std::vector<std::string> files;
            ~Clear() {
                for (const std::string& f : files)
                    ::unlink(f.c_str());
            }
        } clear{dir, {}};
        for (const auto& n : names) {
            clear.files.push_back(dir + "/" + n.bytes);
            kvxtest::writeFile(clear.files.back(), drawing());
        }
        startOn(QFile::decodeName(QByteArray::fromStdString(dir)));
        TFileListBox* list = Form1->FileListBox1;
        QCOMPARE(list->count(), int(std::size(names)));
        for (const auto& n : names) {
            int row = 0;
            while (row < list->count() && list->nativeName(row) != n.bytes)
                ++row;
            QVERIFY2(row < list->count(), n.bytes);
            QCOMPARE(list->text(row), n.shown);
            list->setItemIndex(row);
            QCOMPARE(list->selectedNativePath(), dir + "/" + n.bytes);
        }
    }

    void keysReachAFolderTwelveLevelsDeep() {
        // Down through "Computer" and "/" to a folder twelve levels below the temporary
        // folder, by keys alone, as a user without a mouse would.
        QTemporaryDir base;
        QString deep = QDir(base.path()).canonicalPath();
        for (int level = 1; level <= 12; ++level)
            deep += QStringLiteral("/level%1").arg(level, 2, 10, QLatin1Char('0'));
        QDir().mkpath(deep);
        write(deep + "/bottom.dwg", drawing());
        kvx::createForms({});
        TShellTreeView* tree = Form1->ShellTreeView1;
        tree->setFocus();
        auto path = [tree] {
            return tree->currentIndex().data(TShellTreeView::PathRole).toString();
        };
        auto leadsTo = [&deep](const QString& p) {
            return p == QLatin1String("/") || deep == p || deep.startsWith(p + QLatin1Char('/'));
        };
        // To "Computer", a node with no folder of its own.
        for (int i = 0; i < 50 && tree->currentIndex().data().toString() != "Computer"; ++i)
            QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->currentIndex().data().toString(), QStringLiteral("Computer"));
        int steps = 0;
        while (path() != deep && steps++ < 2000) {
            if (!path().isEmpty() && !leadsTo(path())) {
                QTest::keyClick(tree, Qt::Key_Down); // a sibling on the way
                continue;
            }
            QTest::keyClick(tree, Qt::Key_Right); // open the node
            QTest::keyClick(tree, Qt::Key_Right); // its first child
        }
        QCOMPARE(path(), deep);
        QCOMPARE(tree->selectedPath(), deep);
        QCOMPARE(listed(), QStringList{"bottom.dwg"});
        QCOMPARE(CurrentDrawingPath, deep + "/bottom.dwg");
        // The selected row stays readable: the tree scrolls sideways to it.
        QVERIFY(tree->horizontalScrollBar()->maximum() > 0);
        const QRect row = tree->visualRect(tree->currentIndex());
        const int nameEnd = row.left() + tree->sizeHintForIndex(tree->currentIndex()).width();
        QVERIFY2(row.left() - tree->indentation() >= 0 && nameEnd <= tree->viewport()->width(),
                 qPrintable(QStringLiteral("row from %1 to %2").arg(row.left()).arg(nameEnd)));
        // One more key moves within the deep folder's neighbourhood, not back to the top.
        QTest::keyClick(tree, Qt::Key_Up);
        QCOMPARE(tree->selectedPath(), deep.left(deep.lastIndexOf('/')));
        QCOMPARE(listed(), QStringList());
    }

    void treeFindsFoldersByPath() {
        const QString deep = folder("a/b/c");
        kvx::createForms({});
        QVERIFY(Form1->ShellTreeView1->selectPath(deep));
        QCOMPARE(Form1->ShellTreeView1->selectedPath(), deep);
        QVERIFY(Form1->ShellTreeView1->selectPath("/"));
        QCOMPARE(Form1->ShellTreeView1->selectedPath(), QStringLiteral("/"));
        QVERIFY(Form1->ShellTreeView1->selectPath(QDir::tempPath()));
        QCOMPARE(Form1->ShellTreeView1->selectedPath(), QDir::tempPath());
        QVERIFY(!Form1->ShellTreeView1->selectPath(fx().desktop() + "/missing"));
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestBrowse test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_browse.moc"
