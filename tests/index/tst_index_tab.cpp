// The Index tab on real folders: it follows the View tab's folder, counts the reports,
// refuses names that cannot be made and writes the index pages or says why it cannot.

#include "../app/window_session.h"
#include "support/folder_lock.h"

#include "app/main_window.h"
#include "drawing/shell_tree_view.h"
#include "index/index_pages.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <cstring>
#include <memory>

namespace {

void touch(const QString& path, const QByteArray& bytes = "x") {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QModelIndex computerNode(TShellTreeView* tree) {
    auto* model = qobject_cast<QStandardItemModel*>(tree->model());
    QStandardItem* top = model->item(0);
    for (int i = 0; i < top->rowCount(); ++i)
        if (top->child(i)->text() == QLatin1String("Computer"))
            return top->child(i)->index();
    return {};
}

void showIndexTab() {
    Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
    Form1->PageControl1->setCurrentWidget(Form1->Html);
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
    // The View tab on `path`, then the Index tab.
    void indexTabOn(const QString& path) {
        QVERIFY(Form1->ShellTreeView1->selectPath(path));
        showIndexTab();
    }
    void checkButtons(bool build, bool create) {
        QCOMPARE(Form1->SpeedButton7->isEnabled(), build);
        QCOMPARE(Form1->SpeedButton8->isEnabled(), create);
        QVERIFY(Form1->SpeedButton9->isEnabled());
    }

private slots:
    void init() { session = std::make_unique<WindowSession>(); }
    void cleanup() { session.reset(); }

    void designCaptionsUntilFirstShown() {
        kvx::createForms({});
        QCOMPARE(Form1->Label11->text(), QStringLiteral("Label11"));
        QCOMPARE(Form1->Label12->text(), QStringLiteral("Label12"));
    }

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
        QTest::newRow("nothing") << QStringList{} << QStringList{};
    }
    void reportsCounted() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, reports);
        const QString dir = folder("plans");
        QDir().mkpath(dir + "/folder.htm"); // a folder is no report
        for (const QString& f : files)
            touch(dir + "/" + f);
        kvx::createForms({});
        indexTabOn(dir);
        QCOMPARE(Form1->ShellTreeView2->selectedPath(), dir);
        QCOMPARE(Form1->Label11->text(), dir);
        QCOMPARE(Form1->ReportList(), reports);
        QCOMPARE(Form1->Label12->text(),
                 QStringLiteral("%1 report file(s) found").arg(reports.size()));
        QVERIFY(Form1->Label12->width() >= Form1->Label12->sizeHint().width());
        checkButtons(!reports.isEmpty(), true);
        QCOMPARE(QDir::currentPath(), dir);
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
    }

    void computerEmptiesTheListAndKeepsTheFolderShown() {
        const QString dir = folder("plans");
        touch(dir + "/a.dwg.htm");
        kvx::createForms({});
        indexTabOn(dir);
        checkButtons(true, true);
        Form1->ShellTreeView2->setCurrentIndex(computerNode(Form1->ShellTreeView2));
        QCOMPARE(Form1->ReportList(), QStringList());
        QCOMPARE(Form1->Label12->text(), QStringLiteral("No report file found"));
        QCOMPARE(Form1->Label11->text(), dir);
        checkButtons(false, false);
    }

    void followsTheViewTreeAndReadsItsFolderAgain() {
        const QString dir = folder("lot/site");
        kvx::createForms({});
        indexTabOn(dir);
        QCOMPARE(Form1->ShellTreeView2->selectedPath(), dir);
        QVERIFY(Form1->ShellTreeView2->isExpanded(Form1->ShellTreeView2->currentIndex().parent()));
        // A report and a sub-folder made since are seen the next time the tab is shown.
        Form1->ShellTreeView2->expand(Form1->ShellTreeView2->currentIndex());
        QCOMPARE(Form1->ShellTreeView2->model()->rowCount(Form1->ShellTreeView2->currentIndex()),
                 0);
        touch(dir + "/a.dwg.htm");
        QDir().mkpath(dir + "/new");
        QVERIFY(Form1->ShellTreeView1->selectPath(session->fx.desktop()));
        QVERIFY(Form1->ShellTreeView1->selectPath(dir));
        showIndexTab();
        QCOMPARE(Form1->Label12->text(), QStringLiteral("1 report file(s) found"));
        const QModelIndex current = Form1->ShellTreeView2->currentIndex();
        QCOMPARE(Form1->ShellTreeView2->model()->rowCount(current), 1);
        QCOMPARE(current.model()->index(0, 0, current).data().toString(), QStringLiteral("new"));
    }

    void fallbackSelectsTheNodeAtTheViewTreesPlace() {
        folder("a");
        const QString gone = folder("b/gone");
        kvx::createForms({});
        // The computer has no path to select: the node at its place is taken, the computer.
        Form1->ShellTreeView1->setCurrentIndex(computerNode(Form1->ShellTreeView1));
        showIndexTab();
        QCOMPARE(Form1->ShellTreeView2->currentIndex().data().toString(),
                 QStringLiteral("Computer"));
        QCOMPARE(Form1->Label12->text(), QStringLiteral("No report file found"));
        // A folder gone since the View tab showed it: first of its siblings, so node 1 of the
        // tree read afresh, the desktop's first sub-folder.
        QVERIFY(Form1->ShellTreeView1->selectPath(gone));
        QDir().rmdir(gone);
        showIndexTab();
        QCOMPARE(Form1->ShellTreeView2->selectedPath(), session->fx.desktop() + "/a");
        QCOMPARE(Form1->Label11->text(), session->fx.desktop() + "/a");
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
    }

    void unreadableFolderIsReportedAndNothingCanBeBuilt() {
        const QString dir = folder("vanishing");
        touch(dir + "/a.dwg.htm");
        kvx::createForms({});
        showIndexTab(); // the desktop
        checkButtons(false, true);
        QDir(dir).removeRecursively(); // the tree never refreshes on its own
        QVERIFY(Form1->ShellTreeView2->selectPath(dir));
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Erreur"));
        QCOMPARE(shown[0].text, QStringLiteral("Cannot read the folder \"%1\": %2")
                                    .arg(dir, QString::fromLocal8Bit(std::strerror(ENOENT))));
        QCOMPARE(Form1->Label12->text(), QStringLiteral("No report file found"));
        checkButtons(false, false);
    }

    void nameCheck_data() {
        QTest::addColumn<bool>("autoName");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name"); // empty: refused; "AUTO": the folder's own
        QTest::newRow("typed") << false << "Plans"
                               << "Plans.chm";
        QTest::newRow("blanks") << false << "  "
                                << "  .chm";
        QTest::newRow("automatic") << true << ""
                                   << "AUTO";
        QTest::newRow("automatic, slash typed") << true << "a/b"
                                                << "AUTO";
        QTest::newRow("empty") << false << ""
                               << "";
        QTest::newRow("slash") << false << "../Plans"
                               << "";
    }
    void nameCheck() {
        QFETCH(bool, autoName);
        QFETCH(QString, typed);
        QFETCH(QString, name);
        const QString dir = folder("plans R&D");
        kvx::createForms({});
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        indexTabOn(dir);
        Form1->CheckBox7->setChecked(autoName);
        Form1->Edit4->setText(typed);
        Form1->CheckBox7->setFocus();
        kvx::MessageSeam::clear();
        QCOMPARE(Form1->IndexNameCheck(), !name.isEmpty());
        if (!name.isEmpty()) {
            if (name == QLatin1String("AUTO"))
                name = QString(dir).replace('/', '_') + ".chm";
            QCOMPARE(Form1->IndexFileName(), name);
            QVERIFY(kvx::MessageSeam::shown().isEmpty());
            return;
        }
        const auto shown = kvx::MessageSeam::shown();
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
        kvx::createForms({});
        indexTabOn(dir);
        QVERIFY(Form1->WriteIndexPages());
        const QByteArray left = readAll(dir + "/gauche.htm");
        QVERIFY(left.contains(">1. a</font>") && left.contains(">2. b</font>"));
        QVERIFY(!left.contains("Index"));
        QVERIFY(readAll(dir + "/haut.htm").contains(">" + QFile::encodeName(dir) + "</font>"));

        FolderLock lock(dir);
        if (!lock.locked())
            QSKIP("this file system cannot refuse writes here");
        const QByteArray earlier = readAll(dir + "/gauche.htm");
        QVERIFY(!Form1->WriteIndexPages());
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Erreur"));
        const int refused =
            shown[0].text.contains(QString::fromLocal8Bit(std::strerror(EACCES))) ? EACCES : EPERM;
        QCOMPARE(shown[0].text,
                 QStringLiteral("Impossible de créer le fichier \"%1/gauche.htm\". %2")
                     .arg(dir, QString::fromLocal8Bit(std::strerror(refused))));
        QCOMPARE(readAll(dir + "/gauche.htm"), earlier);
    }
};

QTEST_MAIN(TestIndexTab)
#include "tst_index_tab.moc"
