// The index build and the batch on real folders, with a tool folder whose hhc.exe is a small
// script (or fails, or is missing), and once with our own hhc.exe over chmcmd.

#include "../app/window_session.h"
#include "support/dwg_builder.h"

#include "app/main_window.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "index/result_dialog.h"
#include "report/wait_window.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chm_lib.h>
#include <chrono>
#include <functional>
#include <memory>

namespace {

const QStringList kPages{"droite.htm", "gauche.htm", "haut.htm", "index.htm", "miniatures.htm"};

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList filesOf(const QString& dir) {
    QStringList names = QDir(dir).entryList(QDir::Files);
    names.sort();
    return names;
}

kvxtest::Bytes drawing() {
    return kvxtest::DwgBuilder("AC1018")
        .headerData()
        .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(120, 60, 16), {24}))
        .build();
}

// A hhc.exe that logs its argument and show state, then lists the folder into hhctest.chm.
// "gate": it waits for the file "go" beside it first. "fail": it says why and leaves nothing.
QByteArray fakeCompiler(const QString& toolDir, const QString& mode) {
    QByteArray s =
        "#!/bin/sh\necho \"$1|$KORVENIX_SHOW_STATE\" >> '" + QFile::encodeName(toolDir) + "/log'\n";
    if (mode == "fail")
        return s + "echo 'hhc.exe: chmcmd ended with an error' >&2\nexit 1\n";
    if (mode == "gate")
        s += "while [ ! -e '" + QFile::encodeName(toolDir) + "/go' ]; do sleep 0.02; done\n";
    return s + "d=$(dirname \"$1\")\nls \"$d\" > \"$d/hhc.part\" && mv \"$d/hhc.part\" "
               "\"$d/hhctest.chm\"\n";
}

QStringList chmEntries(const QString& chm) {
    QStringList names;
    chmFile* h = chm_open(QFile::encodeName(chm).constData());
    if (!h)
        return names;
    chm_enumerate(
        h, CHM_ENUMERATE_FILES | CHM_ENUMERATE_NORMAL,
        [](chmFile*, chmUnitInfo* ui, void* names) {
            if (QByteArray(ui->path) != "/_#_README_#_")
                static_cast<QStringList*>(names)->append(QFile::decodeName(ui->path + 1));
            return CHM_ENUMERATOR_CONTINUE;
        },
        &names);
    chm_close(h);
    names.sort();
    return names;
}

QModelIndex computerNode(TShellTreeView* tree) {
    const QModelIndex desktop = tree->model()->index(0, 0);
    for (int i = 0; i < tree->model()->rowCount(desktop); ++i) {
        const QModelIndex node = tree->model()->index(i, 0, desktop);
        if (node.data().toString() == QLatin1String("Computer"))
            return node;
    }
    return {};
}

// Answers the result dialog with "Close" each time it comes up, and counts it.
class ResultDialogWatch {
public:
    ResultDialogWatch() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (Form2 && Form2->isVisible()) {
                ++shown;
                Form2->SpeedButton1->click();
            }
        });
        m_timer.start(10);
    }
    int shown = 0;

private:
    QTimer m_timer;
};

} // namespace

class TestIndexBuild : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowSession> session;
    QString dir;
    QString tools;

    // Settings naming a tool folder, with the clean-up options; "Plans" on the desktop.
    void start(const QString& compiler, bool effhtml = false, bool effjpg = false,
               bool autoName = true) {
        session = std::make_unique<WindowSession>();
        dir = session->fx.desktop() + "/Plans";
        tools = session->fx.configHome() + "/tool folder";
        QDir().mkpath(dir);
        QDir().mkpath(tools);
        const auto flag = [](bool on) { return QByteArray(on ? "1" : "0"); };
        session->fx.writeHive(
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n"
            "\"autoname\"=dword:0000000" +
            flag(autoName) +
            "\r\n\"bigimage\"=dword:00000000\r\n\"indexname\"=\"\"\r\n"
            "\"lastchm\"=\"/earlier/x.chm\"\r\n\"path\"=\"" +
            QFile::encodeName(tools) + "\"\r\n\"effhtml\"=\"" + flag(effhtml) +
            "\"\r\n\"effjpg\"=\"" + flag(effjpg) + "\"\r\n");
        if (!compiler.isEmpty()) {
            write(tools + "/hhc.exe", fakeCompiler(tools, compiler));
            QFile::setPermissions(tools + "/hhc.exe", QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    void openIndexTab() {
        kvx::createForms({});
        QVERIFY(Form1->ShellTreeView1->selectPath(dir));
        Form1->PageControl1->setCurrentWidget(Form1->Html);
        QCOMPARE(Form1->ShellTreeView2->selectedPath(), dir);
        kvx::MessageSeam::clear();
    }
    QString autoIndex() const { return QString(dir).replace('/', '_') + ".chm"; }
    QStringList compilerRuns() const {
        return QString::fromUtf8(readAll(tools + "/log")).split('\n', Qt::SkipEmptyParts);
    }
    QStringList messages() const {
        QStringList texts;
        for (const kvx::ShownMessage& m : kvx::MessageSeam::shown())
            texts << m.text;
        return texts;
    }
    void checkEndState() {
        QVERIFY(!Form4->isVisible());
        QVERIFY(Form1->SpeedButton8->isEnabled());
    }

private slots:
    void cleanup() { session.reset(); }

    void build_data() {
        QTest::addColumn<QString>("compiler");
        QTest::addColumn<bool>("effhtml");
        QTest::addColumn<bool>("effjpg");
        QTest::addColumn<bool>("userFiles");
        QTest::addColumn<QStringList>("left"); // besides the drawings and the index
        QTest::addColumn<QString>("count");    // Label12
        QTest::addColumn<QString>("error");    // in the error box; empty: built
        const QStringList reports{"a.dwg.htm", "a.dwg.jpg", "B.DWG.htm", "B.DWG.jpg"};
        QTest::newRow("no clean-up") << "ok" << false << false << false << reports + kPages
                                     << "2 report file(s) found" << QString();
        QTest::newRow("both options") << "ok" << true << true << false << QStringList{}
                                      << "0 report file(s) found" << QString();
        QTest::newRow("user's own files stay")
            << "ok" << true << true << true << QStringList{"index.jpg", "notes.htm"}
            << "1 report file(s) found" << QString();
        QTest::newRow("pictures only")
            << "ok" << false << true << true
            << QStringList{"B.DWG.htm", "a.dwg.htm", "index.jpg", "notes.htm"} + kPages
            << "3 report file(s) found" << QString();
        QTest::newRow("compiler fails")
            << "fail" << true << true << true
            << reports + kPages + QStringList{"hhctest.chm", "index.jpg", "notes.htm"}
            << "3 report file(s) found"
            << "hhc.exe: chmcmd ended with an error";
        QTest::newRow("compiler missing")
            << "" << true << true << false << reports + kPages << "2 report file(s) found"
            << "cannot be started";
    }
    void build() {
        QFETCH(QString, compiler);
        QFETCH(bool, effhtml);
        QFETCH(bool, effjpg);
        QFETCH(bool, userFiles);
        QFETCH(QStringList, left);
        QFETCH(QString, count);
        QFETCH(QString, error);
        start(compiler, effhtml, effjpg);
        for (const char* f : {"a.dwg", "a.dwg.htm", "a.dwg.jpg", "B.DWG", "B.DWG.htm", "B.DWG.jpg"})
            write(dir + "/" + QLatin1String(f), "x");
        if (userFiles) {
            write(dir + "/notes.htm", "mine");
            write(dir + "/index.jpg", "photo");
        }
        // An index of the same name from an earlier build; a failing compiler's output left
        // from an earlier run.
        write(dir + "/" + autoIndex(), "earlier index");
        if (compiler == "fail")
            write(dir + "/hhctest.chm", "stale");
        openIndexTab();
        {
            ResultDialogWatch dialog;
            Form1->SpeedButton7->click();
            QCOMPARE(dialog.shown, error.isEmpty() ? 1 : 0);
        }
        QStringList expected = left + QStringList{"a.dwg", "B.DWG", autoIndex()};
        expected.sort();
        QCOMPARE(filesOf(dir), expected);
        QCOMPARE(Form1->Label12->text(), count);
        checkEndState();
        const QString last = QString::fromStdString(kvx::SettingCopies.lastchm);
        if (error.isEmpty()) {
            QVERIFY(messages().isEmpty());
            QCOMPARE(compilerRuns(), QStringList{dir + "/index.htm|6"});
            QVERIFY(readAll(dir + "/" + autoIndex()).contains("miniatures.htm"));
            QCOMPARE(last, dir + "/" + autoIndex());
            QVERIFY(session->fx.hive().contains("\"lastchm\"=\"" + QFile::encodeName(last) + "\""));
        } else {
            QCOMPARE(messages().size(), 1);
            QVERIFY(messages()[0].startsWith("The index file " + dir + "/" + autoIndex() +
                                             " could not be created.\n"));
            QVERIFY2(messages()[0].contains(error), qPrintable(messages()[0]));
            QCOMPARE(readAll(dir + "/" + autoIndex()), QByteArray("earlier index"));
            QCOMPARE(last, QStringLiteral("/earlier/x.chm"));
            QVERIFY(session->fx.hive().contains("\"lastchm\"=\"/earlier/x.chm\""));
        }
    }

    void typedNameBuiltTwiceReplacesItsIndex() {
        start("ok", false, false, false);
        write(dir + "/a.dwg.htm", "x");
        openIndexTab();
        Form1->Edit4->setText("Lot 2");
        ResultDialogWatch dialog;
        Form1->SpeedButton7->click();
        const QByteArray first = readAll(dir + "/Lot 2.chm");
        write(dir + "/c.dwg.htm", "x");
        Form1->SpeedButton7->click();
        QCOMPARE(dialog.shown, 2);
        QVERIFY(!first.contains("c.dwg.htm"));
        QVERIFY(readAll(dir + "/Lot 2.chm").contains("c.dwg.htm"));
        QVERIFY(readAll(dir + "/gauche.htm").contains("2. c"));
        QCOMPARE(QString::fromStdString(kvx::SettingCopies.lastchm), dir + "/Lot 2.chm");
        QCOMPARE(compilerRuns().size(), 2);
        QVERIFY(!QFile::exists(dir + "/hhctest.chm"));
    }

    void pageThatCannotBeWrittenStops() {
        start("ok", true, true);
        write(dir + "/a.dwg.htm", "x");
        QDir().mkpath(dir + "/haut.htm"); // no file can take its name
        openIndexTab();
        ResultDialogWatch dialog;
        Form1->SpeedButton7->click();
        QCOMPARE(dialog.shown, 0);
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].contains(dir + "/haut.htm"), qPrintable(messages()[0]));
        QVERIFY(compilerRuns().isEmpty());
        QCOMPARE(filesOf(dir), (QStringList{"a.dwg.htm", "gauche.htm", "index.htm"}));
        checkEndState();
    }

    void secondClickDuringTheCompileIsIgnored() {
        start("gate");
        write(dir + "/a.dwg.htm", "x");
        openIndexTab();
        bool checked = false;
        QTimer::singleShot(50, [&] {
            // The compile is waiting on "go"; the window is live.
            const auto release = qScopeGuard([&] { write(tools + "/go", ""); });
            QVERIFY(Form4->isVisible());
            QVERIFY(!Form1->SpeedButton7->isEnabled());
            QVERIFY(!Form1->SpeedButton8->isEnabled());
            Form1->SpeedButton7Click();
            Form1->SpeedButton8Click();
            // Refreshing the list, as showing the tab does, keeps them off.
            Form1->ShellTreeView2Change();
            QVERIFY(!Form1->SpeedButton7->isEnabled());
            QVERIFY(!Form1->SpeedButton8->isEnabled());
            checked = true;
            // The tab may move on meanwhile; the build stays with its folder.
            Form1->ShellTreeView2->setCurrentIndex(computerNode(Form1->ShellTreeView2));
        });
        ResultDialogWatch dialog;
        Form1->SpeedButton7->click();
        QVERIFY(checked);
        QCOMPARE(dialog.shown, 1);
        QCOMPARE(compilerRuns().size(), 1);
        QVERIFY(messages().isEmpty());
        QVERIFY(QFile::exists(dir + "/" + autoIndex()));
        QCOMPARE(Form1->Label12->text(), QStringLiteral("No report file found"));
        QVERIFY(!Form1->SpeedButton7->isEnabled());
        QVERIFY(!Form1->SpeedButton8->isEnabled());
        QVERIFY(!Form4->isVisible());
    }

    void batch_data() {
        QTest::addColumn<QStringList>("drawings");
        QTest::addColumn<bool>("autoName");
        QTest::addColumn<QString>("brokenPage"); // a report page that cannot be written
        QTest::newRow("three drawings") << QStringList{"a.dwg", "b.dwg", "c.dwg"} << true << "";
        QTest::newRow("empty folder") << QStringList{} << true << "";
        QTest::newRow("no name") << QStringList{"a.dwg"} << false << "";
        QTest::newRow("report fails half-way")
            << QStringList{"a.dwg", "b.dwg", "c.dwg"} << true << "b.dwg.htm";
    }
    void batch() {
        QFETCH(QStringList, drawings);
        QFETCH(bool, autoName);
        QFETCH(QString, brokenPage);
        start("ok", false, false, autoName);
        for (const QString& d : drawings)
            kvxtest::writeFile(QFile::encodeName(dir + "/" + d).toStdString(), drawing());
        if (!brokenPage.isEmpty())
            QDir().mkpath(dir + "/" + brokenPage);
        openIndexTab();
        ResultDialogWatch dialog;
        Form1->SpeedButton8->click();

        QToolButton* const commands[] = {Form1->SpeedButton1, Form1->SpeedButton2,
                                         Form1->SpeedButton3, Form1->SpeedButton6};
        if (!autoName) {
            QCOMPARE(messages(),
                     QStringList{"Enter a valid file name or select the automatic naming option."});
            QCOMPARE(filesOf(dir), drawings);
            QCOMPARE(Form1->PageControl1->currentWidget(), Form1->Html);
        } else if (drawings.isEmpty()) {
            QVERIFY(messages().isEmpty());
            QCOMPARE(filesOf(dir), QStringList{});
            QCOMPARE(Form1->PageControl1->currentWidget(), Form1->TabSheet1);
        } else if (!brokenPage.isEmpty()) {
            QCOMPARE(messages().size(), 1);
            QVERIFY2(
                messages()[0].startsWith("The report of " + dir + "/b.dwg could not be written."),
                qPrintable(messages()[0]));
            QCOMPARE(filesOf(dir), (QStringList{"a.dwg", "a.dwg.htm", "a.dwg.jpg", "b.dwg",
                                                "b.dwg.jpg", "c.dwg"}));
            QCOMPARE(Form1->PageControl1->currentWidget(), Form1->TabSheet1);
            QVERIFY(compilerRuns().isEmpty());
        } else {
            QVERIFY(messages().isEmpty());
            for (const QString& d : drawings) {
                QVERIFY(readAll(dir + "/" + d + ".htm").contains("Version 2004/2005"));
                QVERIFY(QImage(dir + "/" + d + ".jpg").size() == QSize(252, 126));
            }
            const QByteArray left = readAll(dir + "/gauche.htm");
            QVERIFY(left.contains("3. c") && !left.contains("4. "));
            QVERIFY(readAll(dir + "/" + autoIndex()).contains("c.dwg.jpg"));
            QCOMPARE(Form1->PageControl1->currentWidget(), Form1->Html);
            QCOMPARE(Form1->Label12->text(), QStringLiteral("3 report file(s) found"));
            QCOMPARE(dialog.shown, 1);
        }
        if (autoName && !drawings.isEmpty()) {
            // The View tab's commands are back, Stop excepted.
            for (QToolButton* b : commands)
                QVERIFY(b->isEnabled() && !b->isHidden());
            QVERIFY(Form1->SpeedButton4->isHidden());
        }
        checkEndState();
    }

    void batchEndsARunningSlideShow() {
        start("ok");
        for (const char* d : {"a.dwg", "b.dwg", "c.dwg"})
            kvxtest::writeFile(QFile::encodeName(dir + "/" + QLatin1String(d)).toStdString(),
                               drawing());
        openIndexTab();
        Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
        const auto unit = TForm1::SlidePauseUnit;
        const auto restoreUnit = qScopeGuard([unit] { TForm1::SlidePauseUnit = unit; });
        TForm1::SlidePauseUnit = std::chrono::seconds(5);
        ResultDialogWatch dialog;
        bool ran = false;
        QTimer::singleShot(50, [&] {
            ran = Form1->slideShowRunning();
            Form1->PageControl1->setCurrentWidget(Form1->Html);
            Form1->SpeedButton8->click();
            QVERIFY(!Form1->slideShowRunning());
        });
        // The show runs until the batch, started during its first pause, ends it.
        Form1->SpeedButton3->click();
        QVERIFY(ran);
        QCOMPARE(dialog.shown, 1);
        QVERIFY(messages().isEmpty());
        QVERIFY(QFile::exists(dir + "/c.dwg.htm") && QFile::exists(dir + "/" + autoIndex()));
        QVERIFY(Form1->SpeedButton3->isEnabled() && !Form1->SpeedButton3->isHidden());
        QVERIFY(Form1->SpeedButton4->isHidden());
    }

    // Our own hhc.exe over chmcmd: the batch ends with an index holding the pages, the
    // reports and their pictures.
    void batchWithTheRealCompiler() {
        if (QStandardPaths::findExecutable("chmcmd").isEmpty())
            QSKIP("chmcmd is not installed");
        start(QString());
        QFile::link(QStringLiteral(KVX_HHC), tools + "/hhc.exe");
        const QStringList drawings{"Lot 1 & 2.dwg", "façade.dwg", "plan.dwg"};
        for (const QString& d : drawings)
            kvxtest::writeFile(QFile::encodeName(dir + "/" + d).toStdString(), drawing());
        openIndexTab();
        ResultDialogWatch dialog;
        Form1->SpeedButton8->click();
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join('\n')));
        QCOMPARE(dialog.shown, 1);
        QStringList expected = kPages;
        for (const QString& d : drawings)
            expected << d + ".htm" << d + ".jpg";
        expected.sort();
        QCOMPARE(chmEntries(dir + "/" + autoIndex()), expected);
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestIndexBuild test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_index_build.moc"
