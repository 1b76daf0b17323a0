// The Index tab on real folders: following the View tab, counting reports, refusing names
// that cannot be made, writing the pages or saying why not.

#include "../app/window_session.h"
#include "support/dwg_builder.h"
#include "support/folder_lock.h"

#include "app/main_window.h"
#include "drawing/shell_tree_view.h"
#include "index/index_pages.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void touch(const QString& path) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QModelIndex computerNode(QTreeView* tree) {
    const QModelIndex desktop = tree->model()->index(0, 0);
    return tree->model()
        ->match(tree->model()->index(0, 0, desktop), Qt::DisplayRole, "Computer")
        .value(0);
}

QString errorText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

void showIndexTab() {
    Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
    Form1->PageControl1->setCurrentWidget(Form1->Html);
}

// The report list as text, for names that are UTF-8.
QStringList reportNames() {
    QStringList names;
    for (const std::string_view name : Form1->ReportList())
        names << QString::fromStdString(std::string(name));
    return names;
}

// Label12, then whether SpeedButton7 and SpeedButton8 are enabled.
void checkCount(const QString& count, bool build, bool create) {
    QCOMPARE(Form1->Label12->text(), count);
    QVERIFY(Form1->Label12->width() >= Form1->Label12->sizeHint().width());
    QCOMPARE(Form1->SpeedButton7->isEnabled(), build);
    QCOMPARE(Form1->SpeedButton8->isEnabled(), create);
    QVERIFY(Form1->SpeedButton9->isEnabled());
}

} // namespace

class TestIndexTab : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowSession> session;
    QString folder(const QString& name) {
        const QString p = session->fx.desktop() + "/" + name;
        QDir().mkpath(p);
        return p;
    }
    void indexTabOn(const QString& path) {
        kvx::createForms({});
        QCOMPARE(Form1->Label11->text(), QStringLiteral("Label11")); // until first shown
        QVERIFY(Form1->ShellTreeView1->selectPath(path));
        showIndexTab();
        QCOMPARE(Form1->ShellTreeView2->selectedPath(), path);
        QCOMPARE(Form1->Label11->text(), path);
    }

private slots:
    void init() { session = std::make_unique<WindowSession>(); }
    void cleanup() { session.reset(); }

    void reportsCounted_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("reports");
        QTest::newRow("reports beside index pages")
            << QStringList{"b.dwg.htm", "A.dwg.htm", "Index.HTM",   "index.htm", "gauche.htm",
                           "c.dwg.HTM", "notes.txt", ".hidden.htm", "b.dwg.jpg"}
            << QStringList{"A.dwg.htm", "b.dwg.htm", "c.dwg.HTM"};
        QTest::newRow("only the five pages")
            << QStringList{"index.htm", "gauche.htm", "droite.htm", "haut.htm", "miniatures.htm"}
            << QStringList{};
    }
    void reportsCounted() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, reports);
        const QString dir = folder("plans");
        QDir().mkpath(dir + "/folder.htm"); // a folder is no report
        for (const QString& f : files)
            touch(dir + "/" + f);
        indexTabOn(dir);
        QCOMPARE(reportNames(), reports);
        checkCount(QStringLiteral("%1 report file(s) found").arg(reports.size()),
                   !reports.isEmpty(), true);
        QCOMPARE(QDir::currentPath(), dir);
        // The computer holds no files: nothing to build, and the folder stays named.
        Form1->ShellTreeView2->setCurrentIndex(computerNode(Form1->ShellTreeView2));
        QCOMPARE(reportNames(), QStringList());
        checkCount(QStringLiteral("No report file found"), false, false);
        QCOMPARE(Form1->Label11->text(), dir);
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
    }

    void followsTheViewTreeOrTheNodeAtItsPlace() {
        folder("a");
        const QString gone = folder("c/gone");
        const QString dir = folder("b/site");
        indexTabOn(dir);
        // The folder's sub-folders and reports made since are seen when the tab comes back.
        Form1->ShellTreeView2->expand(Form1->ShellTreeView2->currentIndex());
        QDir().mkpath(dir + "/new");
        touch(dir + "/a.dwg.htm");
        showIndexTab();
        checkCount(QStringLiteral("1 report file(s) found"), true, true);
        QCOMPARE(Form1->ShellTreeView2->model()->rowCount(Form1->ShellTreeView2->currentIndex()),
                 1);
        // A folder gone before this tree read it: the first of its siblings, so node 1 of the
        // tree read afresh, the desktop's first sub-folder.
        QVERIFY(Form1->ShellTreeView1->selectPath(gone));
        QDir().rmdir(gone);
        showIndexTab();
        QCOMPARE(Form1->ShellTreeView2->selectedPath(), session->fx.desktop() + "/a");
        // The computer, after a, b and c: node 4, the computer again.
        Form1->ShellTreeView1->setCurrentIndex(computerNode(Form1->ShellTreeView1));
        showIndexTab();
        QCOMPARE(Form1->ShellTreeView2->currentIndex(), computerNode(Form1->ShellTreeView2));
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
    }

    void unreadableFolderIsReportedAndNothingCanBeBuilt() {
        const QString dir = folder("vanishing");
        indexTabOn(session->fx.desktop());
        QDir().rmdir(dir); // the tree never refreshes on its own
        QVERIFY(Form1->ShellTreeView2->selectPath(dir));
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Erreur"));
        QCOMPARE(shown[0].text,
                 QStringLiteral("Cannot read the folder \"%1\": %2").arg(dir, errorText(ENOENT)));
        checkCount(QStringLiteral("No report file found"), false, false);
    }

    void nameCheck_data() {
        QTest::addColumn<bool>("autoName");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name"); // empty: refused
        QTest::newRow("automatic") << true << "a/b"
                                   << "_plans R&D.chm";
        QTest::newRow("slash") << false << "../Plans"
                               << "";
    }
    void nameCheck() {
        QFETCH(bool, autoName);
        QFETCH(QString, typed);
        QFETCH(QString, name);
        indexTabOn(folder("plans R&D"));
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        Form1->CheckBox7->setChecked(autoName);
        Form1->Edit4->setText(typed);
        Form1->CheckBox7->setFocus();
        QCOMPARE(Form1->IndexNameCheck(), !name.isEmpty());
        const auto shown = kvx::MessageSeam::shown();
        if (!name.isEmpty()) {
            QVERIFY(Form1->IndexFileName().endsWith(name));
            QVERIFY(shown.isEmpty());
            return;
        }
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text,
                 QStringLiteral("Enter a valid file name or select the automatic naming option."));
        QCOMPARE(shown[0].title, QStringLiteral("Korvenix 3.1"));
        QCOMPARE(shown[0].buttons, int(kvx::MbOk));
        QCOMPARE(QApplication::focusWidget(), Form1->Edit4);
    }

    void pagesWrittenForTheListOrTheFailureShown() {
        const QString dir = folder("plans");
        for (const char* f : {"b.dwg.htm", "a.dwg.htm", "Index.HTM"})
            touch(dir + "/" + f);
        indexTabOn(dir);
        // The build reads the list itself: the same names as the tab's, index pages left out.
        const std::string native = QFile::encodeName(dir).toStdString();
        const kvx::FolderListing listing = kvx::listReportPages(native);
        QVERIFY(listing.ok && listing.names == Form1->ReportList());
        QCOMPARE(listing.names.size(), std::size_t{2});
        QVERIFY(Form1->WriteIndexPages(native, listing.names));
        const QByteArray left = readAll(dir + "/gauche.htm");
        QVERIFY(left.contains(">1. a</font>") && left.contains(">2. b</font>"));
        QVERIFY(!left.contains("Index"));

        FolderLock lock(dir);
        if (!lock.locked())
            QSKIP("this file system cannot refuse writes here");
        QVERIFY(!Form1->WriteIndexPages(native, Form1->ReportList()));
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Erreur"));
        const QString expected =
            QStringLiteral("Impossible de créer le fichier \"%1/gauche.htm\". %2");
        QVERIFY2(shown[0].text == expected.arg(dir, errorText(EACCES)) ||
                     shown[0].text == expected.arg(dir, errorText(EPERM)),
                 qPrintable(shown[0].text));
        QCOMPARE(readAll(dir + "/gauche.htm"), left);
    }

    void namesThatAreNotUtf8AreReachedByTheirBytes() {
        // A report named in Latin-1, as copied from an old Windows archive, with its picture.
        const QString dir = folder("archive");
        const std::string native = QFile::encodeName(dir).toStdString();
        const std::string report = "plan\xe9.dwg.htm", picture = "plan\xe9.dwg.jpg";
        // Qt cannot remove such names: the test clears them itself.
        struct Clear {
            std::string dir;
            ~Clear() {
                for (const char* n : {"/plan\xe9.dwg.htm", "/plan\xe9.dwg.jpg"})
                    ::unlink((dir + n).c_str());
            }
        } clear{native};
        for (const std::string& name : {report, picture})
            kvxtest::writeFile(native + "/" + name, kvxtest::Bytes{1, 2});
        touch(dir + "/a.dwg.htm");
        indexTabOn(dir);
        checkCount(QStringLiteral("2 report file(s) found"), true, true);
        QVERIFY(Form1->ReportList() == (std::vector<std::string>{"a.dwg.htm", report}));

        QVERIFY(Form1->WriteIndexPages(native, Form1->ReportList()));
        const QByteArray left = readAll(dir + "/gauche.htm");
        QVERIFY2(left.contains("<a href=\"plan%E9.dwg.htm\" target=\"droite\">"), left.constData());
        QVERIFY(left.contains(">2. plan&#65533;</font>"));
        const QByteArray thumbnails = readAll(dir + "/miniatures.htm");
        QVERIFY2(thumbnails.contains("<img src=\"plan%E9.dwg.jpg\"") &&
                     thumbnails.contains("<a href=\"plan%E9.dwg.htm\">plan&#65533;</a>"),
                 thumbnails.constData());
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
    }
};

QTEST_MAIN(TestIndexTab)
#include "tst_index_tab.moc"
