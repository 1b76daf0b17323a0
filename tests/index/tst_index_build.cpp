// The index build and the batch on real folders, with a tool folder whose hhc.exe is a small
// script (or fails, or is missing), and once with our own hhc.exe.

#include "build_fixture.h"

#include "app/main_window.h"
#include "app/path_label.h"
#include "app/settings/settings_store.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "files/atomic_file.h"
#include "files/file_name_text.h"
#include "files/folder_work.h"
#include "index/result_dialog.h"
#include "preview/dwg_thumbnail.h"
#include "report/wait_window.h"
#include "tray/cool_tray_icon.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <array>
#include <chm_lib.h>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

QStringList chmEntries(const QString& chm) {
    QStringList names;
    chmFile* h = chm_open(QFile::encodeName(chm).constData());
    if (!h)
        return names;
    const auto add = [](chmFile*, chmUnitInfo* ui, void* names) {
        static_cast<QStringList*>(names)->append(QFile::decodeName(ui->path + 1));
        return CHM_ENUMERATOR_CONTINUE;
    };
    chm_enumerate(h, CHM_ENUMERATE_FILES | CHM_ENUMERATE_NORMAL, add, &names);
    chm_close(h);
    return sorted(names);
}

// An attribute's link as a browser resolves it against the page's folder: character references
// decoded, blanks and control characters at the ends stripped, tabs and line breaks dropped,
// then %XX turned into the byte it stands for.
QByteArray asABrowserReads(QByteArray value) {
    value.replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"");
    static const QRegularExpression reference("&#(\\d+);");
    QString text = QString::fromLatin1(value);
    for (auto m = reference.match(text); m.hasMatch(); m = reference.match(text))
        text.replace(m.capturedStart(), m.capturedLength(),
                     QString::fromUcs4(std::array<char32_t, 1>{m.captured(1).toUInt()}.data(), 1));
    QByteArray bytes = text.toUtf8();
    while (!bytes.isEmpty() && static_cast<unsigned char>(bytes.front()) <= 0x20)
        bytes.remove(0, 1);
    while (!bytes.isEmpty() && static_cast<unsigned char>(bytes.back()) <= 0x20)
        bytes.chop(1);
    bytes.replace('\t', "").replace('\r', "").replace('\n', "");
    return QByteArray::fromPercentEncoding(bytes);
}

} // namespace

class TestIndexBuild : public QObject, public BuildFixture {
    Q_OBJECT
private slots:
    void cleanup() { session.reset(); }

    void build_data() {
        QTest::addColumn<QString>("compiler"); // "block": haut.htm cannot be written
        QTest::addColumn<QString>("clean");
        QTest::addColumn<bool>("userFiles");
        QTest::addColumn<QStringList>("left"); // besides the drawings and the index
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("error"); // empty: built
        const QStringList reports{"a.dwg.htm", "a.dwg.jpg", "B.DWG.htm", "B.DWG.jpg"};
        const QStringList mine{"index.jpg", "notes.htm"};
        QTest::newRow("no clean-up") << "ok"
                                     << "" << false << reports + kPages << "2 report file(s) found"
                                     << "";
        QTest::newRow("both options")
            << "ok"
            << "html jpg" << false << QStringList{} << "0 report file(s) found"
            << "";
        QTest::newRow("user's own files stay")
            << "ok"
            << "html jpg" << true << mine << "1 report file(s) found"
            << "";
        QTest::newRow("pictures only")
            << "ok"
            << "jpg" << true << QStringList{"B.DWG.htm", "a.dwg.htm"} + mine + kPages
            << "3 report file(s) found"
            << "";
        QTest::newRow("compiler fails, old output beside")
            << "fail"
            << "html jpg" << true << reports + kPages + mine + QStringList{"hhctest.chm"}
            << "3 report file(s) found"
            << "could not be created.\nhhc.exe: the compile failed";
        QTest::newRow("compiler fails after writing its file")
            << "fail late"
            << "html jpg" << false << reports + kPages << "2 report file(s) found"
            << "could not be created.\nhhc.exe: the compile failed";
        QTest::newRow("compiler missing")
            << ""
            << "html jpg" << false << reports + kPages << "2 report file(s) found"
            << "could not be created.\nThe help compiler ";
        QTest::newRow("page cannot be written")
            << "block"
            << "html jpg" << false << reports + QStringList{"gauche.htm", "index.htm"}
            << "2 report file(s) found"
            << "/Plans/haut.htm";
    }
    void build() {
        QFETCH(QString, compiler);
        QFETCH(QString, clean);
        QFETCH(bool, userFiles);
        QFETCH(QStringList, left);
        QFETCH(QString, count);
        QFETCH(QString, error);
        start(compiler, clean, true, [&] {
            for (const char* f :
                 {"a.dwg", "a.dwg.htm", "a.dwg.jpg", "B.DWG", "B.DWG.htm", "B.DWG.jpg"})
                write(dir + "/" + QLatin1String(f), "x");
            if (userFiles) {
                write(dir + "/notes.htm", "mine");
                write(dir + "/index.jpg", "photo");
            }
            // An index of the same name from an earlier build.
            write(dir + "/" + autoIndex(), "earlier index");
            if (compiler == "fail")
                write(dir + "/hhctest.chm", "stale");
            if (compiler == "block")
                QDir().mkpath(dir + "/haut.htm");
        });
        ResultDialogWatch dialog;
        Form1->SpeedButton7->click();

        QCOMPARE(dialog.shown, error.isEmpty() ? 1 : 0);
        QCOMPARE(files(), sorted(left + QStringList{"a.dwg", "B.DWG", autoIndex()}));
        QCOMPARE(Form1->Label12->text(), count);
        QVERIFY(!Form4->isVisible());
        QVERIFY(Form1->SpeedButton8->isEnabled());
        const QString last = error.isEmpty() ? dir + "/" + autoIndex() : "/earlier/x.chm";
        QCOMPARE(QString::fromStdString(kvx::SettingCopies.lastchm), last);
        QVERIFY(session->fx.hive().contains("\"lastchm\"=\"" + QFile::encodeName(last) + "\""));
        if (error.isEmpty()) {
            QCOMPARE(said(), QString());
            QCOMPARE(compilerRuns(), QStringList{dir + "/index.htm|6"});
            QVERIFY(readAll(dir + "/" + autoIndex()).contains("miniatures.htm"));
        } else {
            QVERIFY2(said().contains(error), qPrintable(said()));
            QCOMPARE(readAll(dir + "/" + autoIndex()), QByteArray("earlier index"));
        }
    }

    void batch_data() {
        QTest::addColumn<QStringList>("drawings");
        QTest::addColumn<bool>("autoName");
        QTest::addColumn<QString>("brokenPage"); // a report page that cannot be written
        QTest::addColumn<QStringList>("left");   // "AUTO": the index
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("message");
        const QStringList three{"a.dwg", "b.dwg", "c.dwg"};
        const QStringList reports{"a.dwg.htm", "a.dwg.jpg", "b.dwg.htm",
                                  "b.dwg.jpg", "c.dwg.htm", "c.dwg.jpg"};
        QTest::newRow("three drawings")
            << three << true << "" << three + kPages + reports + QStringList{"AUTO"} << 1 << "";
        QTest::newRow("empty folder") << QStringList{} << true << "" << QStringList{} << 0 << "";
        QTest::newRow("no name")
            << QStringList{"a.dwg"} << false << "" << QStringList{"a.dwg"} << 1
            << "Enter a valid file name or select the automatic naming option.";
        // b's picture goes with its page: never one without the other.
        QTest::newRow("report fails half-way")
            << three << true << "b.dwg.htm" << three + reports.mid(0, 2) << 0
            << "/Plans/b.dwg could not be written.";
    }
    void batch() {
        QFETCH(QStringList, drawings);
        QFETCH(bool, autoName);
        QFETCH(QString, brokenPage);
        QFETCH(QStringList, left);
        QFETCH(int, tab);
        QFETCH(QString, message);
        start("ok", "", autoName, [&] {
            writeDrawings(dir, drawings);
            if (!brokenPage.isEmpty())
                QDir().mkpath(dir + "/" + brokenPage);
        });
        // The View tab has moved on; the batch brings it to the Index tab's folder.
        QVERIFY(Form1->ShellTreeView1->selectPath(session->fx.desktop()));
        ResultDialogWatch dialog;
        Form1->SpeedButton8->click();

        QCOMPARE(Form1->ShellTreeView1->selectedPath(), autoName ? dir : session->fx.desktop());
        QCOMPARE(files(), sorted(left.replaceInStrings("AUTO", autoIndex())));
        // Reports made ahead of a failure are dropped with their files.
        QCOMPARE(QDir(dir).entryList({"*.kvx-tmp-*"}, QDir::Files | QDir::Hidden), QStringList{});
        QCOMPARE(Form1->PageControl1->currentIndex(), tab);
        QVERIFY2(said().contains(message) && said().isEmpty() == message.isEmpty(),
                 qPrintable(said()));
        // The Index tab's list of reports is read again however the batch ended.
        QCOMPARE(Form1->FileListBox2->count(),
                 QDir(dir).entryList({"*.dwg.htm"}, QDir::Files).size());
        const bool built = left.contains(autoIndex());
        QCOMPARE(dialog.shown, built ? 1 : 0);
        if (built) {
            const QByteArray list = readAll(dir + "/gauche.htm");
            QVERIFY(list.contains("3. c") && !list.contains("4. "));
            QCOMPARE(Form1->Label12->text(), QStringLiteral("3 report file(s) found"));
        }
        if (autoName && !drawings.isEmpty()) {
            // The View tab's commands are back, Stop excepted.
            for (QToolButton* b : {Form1->SpeedButton1, Form1->SpeedButton2, Form1->SpeedButton3,
                                   Form1->SpeedButton6})
                QVERIFY(b->isEnabled() && !b->isHidden());
            QVERIFY(Form1->SpeedButton4->isHidden());
        }
        QVERIFY(!Form4->isVisible());
        QVERIFY(Form1->SpeedButton8->isEnabled());
    }

    // What killed writes left beside the drawings goes before the batch reports, when no other
    // copy is at work there: fresh or old, whatever file it was meant for, with the marker the
    // killed copy left. Names that only look like temporaries stay.
    void batchClearsWhatKilledWritesLeft() {
        const auto leftover = [](const char* report, const char* random) {
            return QString::fromStdString(kvx::temporaryPrefixFor(report)) + random;
        };
        const QStringList stale{leftover("a.dwg.jpg", "Ab12Cd"), leftover("c.dwg.htm", "Zz99Yy"),
                                leftover("x.dwg.jpg", "Ab12Cd"), leftover("b.dwg.htm", "fresh1")};
        const QStringList others{leftover("a.dwg.jpg", "Ab12Cd7")};
        QString killed;
        start("ok", "", true, [&] {
            killed = dir + "/" + kvx::kWorkFolderName + "/w-killed";
            writeDrawings(dir, {"a.dwg", "b.dwg", "c.dwg"});
            for (const QString& name : stale + others) {
                write(dir + "/" + name, "partial");
                if (!name.endsWith("fresh1")) {
                    QFile file(dir + "/" + name);
                    QVERIFY(file.open(QIODevice::ReadWrite) &&
                            file.setFileTime(QDateTime::currentDateTime().addSecs(-7200),
                                             QFileDevice::FileModificationTime));
                }
            }
            QVERIFY(QDir().mkpath(dir + "/" + kvx::kWorkFolderName));
            write(killed, QByteArray::fromStdString(kvx::workMarkerText(999999)));
        });
        ResultDialogWatch dialog;
        Form1->SpeedButton8->click();
        QCOMPARE(dialog.shown, 1);
        const QStringList left = QDir(dir).entryList({"*.kvx-tmp-*"}, QDir::Files | QDir::Hidden);
        QCOMPARE(sorted(left), sorted(others));
        QVERIFY(!QFile::exists(killed) && !QFile::exists(dir + "/" + kvx::kWorkFolderName));
        QVERIFY(QFile::exists(dir + "/a.dwg.jpg") && QFile::exists(dir + "/c.dwg.htm"));
    }

    // The batch's reports are made on other threads, yet are the very files that a report
    // written alone from the View tab is: over drawings of every kind, small pictures enlarged
    // or not, big images or not.
    void batchWritesWhatEachReportAloneWrites() {
        start("ok", "", true, [&] {
            for (int i = 0; i < 200; ++i) {
                const kvxtest::Image picture = kvxtest::Image::pattern(
                    static_cast<std::uint32_t>(40 + 7 * i), static_cast<std::uint32_t>(20 + 3 * i),
                    static_cast<unsigned>(2 + i % 200));
                // BMP, PNG, none, an older release, a damaged one (its picture cut short).
                kvxtest::DwgBuilder dwg(i % 5 == 3 ? "AC1009" : "AC1018");
                dwg.headerData();
                if (i % 5 == 1)
                    dwg.png(kvxtest::makePng(picture));
                else if (i % 5 == 2)
                    dwg.withoutImageSection();
                else if (i % 5 != 3)
                    dwg.bmp(kvxtest::makeBmp(picture));
                kvxtest::Bytes bytes = dwg.build();
                if (i % 5 == 4)
                    bytes.resize(bytes.size() - 100);
                kvxtest::writeFile(
                    QFile::encodeName(dir +
                                      QStringLiteral("/d%1.dwg").arg(i, 3, 10, QLatin1Char('0')))
                        .toStdString(),
                    bytes);
            }
        });
        for (const bool big : {false, true}) {
            Form1->CheckBox8->setChecked(big);
            Form1->CheckBox3->setChecked(big); // small pictures enlarged in one pass only
            ResultDialogWatch dialog;
            Form1->SpeedButton8->click();
            QVERIFY2(said().isEmpty(), qPrintable(said()));
            QVERIFY(showsWhatAClickShows());
            QMap<QString, QByteArray> batch;
            for (const QString& name : QDir(dir).entryList({"*.dwg.htm", "*.dwg.jpg"})) {
                batch[name] = readAll(dir + "/" + name);
                QVERIFY(QFile::remove(dir + "/" + name));
            }
            QCOMPARE(batch.size(), 400);
            Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
            for (int i = 0; i < Form1->FileListBox1->count(); ++i) {
                Form1->FileListBox1->setItemIndex(i);
                Form1->FileListBox1Click();
                Form1->WriteDrawingReport();
            }
            for (auto it = batch.cbegin(); it != batch.cend(); ++it)
                QVERIFY2(readAll(dir + "/" + it.key()) == it.value(), qPrintable(it.key()));
        }
    }

    // The View tab follows the batch and ends on the drawing written last, selected and shown.
    void batchEndsShowingTheLastDrawing() {
        start("ok", "", true, [&] { writeDrawings(dir, {"a.dwg", "b.dwg", "c.dwg"}); });
        ResultDialogWatch dialog;
        Form1->SpeedButton8->click();
        QCOMPARE(dialog.shown, 1);
        QCOMPARE(Form1->FileListBox1->itemIndex(), 2);
        QCOMPARE(CurrentDrawingPath, dir + "/c.dwg");
        QCOMPARE(Form1->Label1->text(), dir + "/c.dwg");
        QVERIFY(Form1->DwgThumbnail1->hasPicture());
        QVERIFY(showsWhatAClickShows());
    }

    // The batch shows its progress from what its workers read: the View tab is then what a
    // click on the drawing shows.
    static bool showsWhatAClickShows() {
        const QImage picture = Form1->reportPicture();
        const QString release = Form1->Label5->text(), notice = Form1->Label4->text();
        const bool noticeShown = Form1->Label4->isVisible();
        Form1->FileListBox1Click();
        return Form1->reportPicture() == picture && Form1->Label5->text() == release &&
               Form1->Label4->text() == notice && Form1->Label4->isVisible() == noticeShown;
    }

    // A folder whose name is not UTF-8 (Latin-1 "Plans \xE9"): the compiler runs in it on
    // "index.htm", the index takes its name there, "lastchm" keeps the folder's bytes, and the
    // last index opens in the viewer.
    void aFolderWhoseNameIsNotText() {
        std::string folder;
        start("ok", "", true, [&] {
            folder = kvx::nativeName(session->fx.desktop()) + "/Plans \xE9";
            QCOMPARE(::mkdir(folder.c_str(), 0755), 0);
            kvxtest::writeFile(folder + "/a.dwg",
                               kvxtest::DwgBuilder("AC1018").headerData().build());
            write(tools + "/hh.exe", "#!/bin/sh\n[ -f \"$1\" ] && echo \"$1\" >> '" +
                                         QFile::encodeName(tools) + "/shown'\n");
            QFile::setPermissions(tools + "/hh.exe", QFile::ReadOwner | QFile::ExeOwner);
        });
        QVERIFY(Form1->ShellTreeView2->selectNativePath(folder));
        const std::string name =
            kvx::nativeName(kvx::displayName(folder).replace('/', '_') + ".chm");

        ResultDialogWatch dialog;
        Form1->SpeedButton8->click();
        QVERIFY2(said().isEmpty(), qPrintable(said()));
        QCOMPARE(dialog.shown, 1);
        QCOMPARE(compilerRuns(), QStringList{"index.htm|6"}); // run inside the folder
        struct stat st {};
        QCOMPARE(::stat((folder + "/" + name).c_str(), &st), 0);
        QCOMPARE(kvx::SettingCopies.lastchm, folder + "/" + name);
        Form1->SpeedButton9->click();
        QTRY_COMPARE_WITH_TIMEOUT(readAll(tools + "/shown"), QByteArray(name.c_str()) + "\n",
                                  60000);
    }

    // Our own hhc.exe: the batch ends with an index holding the five pages, the reports and
    // their pictures, and the compiler's contents and keyword index.
    void batchWithTheRealCompiler() {
        const QStringList drawings{"Lot 1 & 2.dwg", "façade.dwg", "plan.dwg"};
        start("", "", true, [&] {
            QFile::link(QStringLiteral(KVX_HHC), tools + "/hhc.exe");
            writeDrawings(dir, drawings);
        });
        ResultDialogWatch dialog;
        Form1->SpeedButton8->click();
        QVERIFY2(said().isEmpty(), qPrintable(said()));
        QCOMPARE(dialog.shown, 1);
        QStringList expected = kPages;
        expected << "index.hhc"
                 << "index.hhk";
        for (const QString& d : drawings)
            expected << d + ".htm" << d + ".jpg";
        QCOMPARE(chmEntries(dir + "/" + autoIndex()), sorted(expected));
    }

    // A folder as users keep it: names a browser would read otherwise than written (blanks at
    // the ends, a tab, a colon and a hash), one as long as the file system allows a report, and
    // the user's own page, whose picture does not exist. The batch writes every report, the
    // index is built and recorded, hh.exe unpacks every entry, and every link of the list and
    // thumbnail pages reaches its file as a browser reads it, but for the user's missing picture.
    void batchOnAMessyFolderBuildsAWholeIndex() {
        const QStringList drawings{"a.dwg",         " lead.dwg",    "trail .dwg",
                                   "tab\tname.dwg", "Lot:2 #3.dwg", QString(236, 'L') + ".dwg"};
        start("", "", true, [&] {
            QFile::link(QStringLiteral(KVX_HHC), tools + "/hhc.exe");
            writeDrawings(dir, drawings);
            write(dir + "/notes.htm", "<html><body>my notes</body></html>");
        });
        ResultDialogWatch dialog;
        Form1->SpeedButton8->click();
        QVERIFY2(said().isEmpty(), qPrintable(said()));
        QCOMPARE(dialog.shown, 1);
        const QString index = dir + "/" + autoIndex();
        QCOMPARE(QString::fromStdString(kvx::SettingCopies.lastchm), index);

        // hh.exe unpacks into a cache of the test's own and hands the start page to the opener.
        const QString cache = session->fx.configHome() + "/cache";
        const QString opened = session->fx.configHome() + "/opened";
        write(tools + "/opener", "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened.toUtf8() + "'\n");
        QFile::setPermissions(tools + "/opener", QFile::ReadOwner | QFile::ExeOwner);
        QProcess hh;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CACHE_HOME", cache);
        env.insert("KORVENIX_OPENER", tools + "/opener");
        env.insert("KORVENIX_NO_MESSAGE_BOX", "1");
        hh.setProcessEnvironment(env);
        hh.start(QStringLiteral(KVX_HH), {index});
        QVERIFY(hh.waitForFinished(60000));
        QVERIFY2(hh.exitCode() == 0, hh.readAllStandardError().constData());
        // The opener runs on its own once hh.exe has handed the page over.
        QTRY_VERIFY_WITH_TIMEOUT(!readAll(opened).isEmpty(), 30000);
        const QString unpacked =
            QFileInfo(QUrl(QString::fromUtf8(readAll(opened))).toLocalFile()).absolutePath();
        QStringList inCache = QDir(unpacked).entryList(QDir::Files);
        QCOMPARE(sorted(inCache), chmEntries(index));

        QStringList missing;
        for (const QString page : {"gauche.htm", "miniatures.htm"}) {
            const QByteArray html = readAll(unpacked + "/" + page);
            QVERIFY(!html.isEmpty());
            static const QRegularExpression link("(?:href|src)=\"([^\"]*)\"");
            for (auto m = link.globalMatch(QString::fromLatin1(html)); m.hasNext();) {
                const QByteArray file = asABrowserReads(m.next().captured(1).toLatin1());
                if (!QFileInfo::exists(unpacked + "/" + QFile::decodeName(file)))
                    missing << QFile::decodeName(file);
            }
        }
        QCOMPARE(missing, QStringList{"notes.jpg"}); // linked from the thumbnail page only
        for (const QString& d : drawings)
            QVERIFY2(inCache.contains(d + ".htm") && inCache.contains(d + ".jpg"), qPrintable(d));
    }

    // Another copy compiling in the same folder holds the turn around hhctest.chm: this build
    // waits for it, the window answering, and compiles once it is over.
    void aCompileWaitsForAnotherCopysCompileInTheFolder() {
        start("ok", "", true, [&] { write(dir + "/a.dwg.htm", "x"); });
        kvx::FolderTurn other;
        std::string error;
        QCOMPARE(other.tryTake(QFile::encodeName(dir).toStdString(), "hhctest.chm", error),
                 kvx::FolderTurn::Outcome::Taken);
        bool ranWhileHeld = true, answered = false;
        QTimer::singleShot(100, [&] { answered = Form4->isVisible(); });
        QTimer::singleShot(600, [&] {
            ranWhileHeld = !compilerRuns().isEmpty();
            other.release();
        });
        ResultDialogWatch dialog;
        Form1->SpeedButton7->click();
        QVERIFY(answered);
        QVERIFY(!ranWhileHeld);
        QCOMPARE(compilerRuns().size(), 1);
        QCOMPARE(dialog.shown, 1);
        QVERIFY(QFile::exists(dir + "/" + autoIndex()));
        QVERIFY(!QFile::exists(dir + "/" + kvx::kWorkFolderName));
    }

    // The pages list the Index tab's reports as they stand when the build starts, whatever
    // folder the user picks while it runs.
    void aFolderPickedDuringTheBuildChangesNotItsPages() {
        QString other;
        start("ok", "", true, [&] {
            write(dir + "/a.dwg.htm", "x");
            other = session->fx.desktop() + "/Other";
            QDir().mkpath(other);
            write(other + "/z.dwg.htm", "x");
        });
        QTimer::singleShot(0, [&] { QVERIFY(Form1->ShellTreeView2->selectPath(other)); });
        ResultDialogWatch dialog;
        Form1->SpeedButton7->click();
        QCOMPARE(dialog.shown, 1);
        const QByteArray left = readAll(dir + "/gauche.htm");
        QVERIFY(left.contains("a.dwg.htm") && !left.contains("z.dwg.htm"));
        QCOMPARE(Form1->FileListBox2->directory(), other);
    }

    // Last, since the program ends here. While the compiler runs the window is live, but the
    // build buttons do nothing, the build keeps its folder when the tab moves on, and a close
    // waits for the compile, then skips the dialog.
    void duringTheCompile() {
        start("gate", "", true, [&] { write(dir + "/a.dwg.htm", "x"); });
        bool checked = false;
        // Once the compiler runs (it logs its call, then waits for "go").
        QTimer whenRunning;
        QObject::connect(&whenRunning, &QTimer::timeout, [&] {
            if (compilerRuns().isEmpty())
                return;
            whenRunning.stop();
            const auto release = qScopeGuard([&] { write(tools + "/go", ""); });
            QVERIFY(Form4->isVisible());
            Form1->SpeedButton7Click();
            Form1->SpeedButton8Click();
            Form1->ShellTreeView2Change(); // a refresh, as showing the tab does
            QVERIFY(!Form1->SpeedButton7->isEnabled() && !Form1->SpeedButton8->isEnabled());
            auto* model = Form1->ShellTreeView2->model();
            const QModelIndex desktop = model->index(0, 0);
            for (int i = 0; i < model->rowCount(desktop); ++i)
                if (model->index(i, 0, desktop).data().toString() == "Computer")
                    Form1->ShellTreeView2->setCurrentIndex(model->index(i, 0, desktop));
            Form1->close();
            checked = Form1->isVisible() && Form4->isVisible();
        });
        whenRunning.start(10);
        ResultDialogWatch dialog;
        Form1->SpeedButton7->click();
        QVERIFY(checked);
        QCOMPARE(compilerRuns().size(), 1);
        QCOMPARE(said(), QString());
        QVERIFY(QFile::exists(dir + "/" + autoIndex()));
        QCOMPARE(Form1->Label12->text(), QStringLiteral("No report file found"));
        QVERIFY(!Form1->SpeedButton7->isEnabled() && !Form1->SpeedButton8->isEnabled());
        QCOMPARE(dialog.shown, 0);
        QVERIFY(!Form1->isVisible() && !Form1->TrayIcon1);
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestIndexBuild test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_index_build.moc"
