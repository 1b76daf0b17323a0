// Writing a drawing's report from the View tab: the JPEG of the preview area and the page
// beside the drawing, on real folders.

#include "../app/window_session.h"
#include "support/dwg_builder.h"
#include "support/folder_lock.h"

#include "actions/flash_form.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/path_label.h"
#include "app/message_box.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "preview/dwg_thumbnail.h"
#include "report/report_page.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Mean difference, which tolerates the JPEG's ringing around sharp edges.
double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            sum += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                   std::abs(p.blue() - q.blue());
        }
    return sum / (3.0 * a.width() * a.height());
}

QByteArray toBytes(const kvxtest::Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

} // namespace

class TestReport : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowSession> session;
    QString dir;

    void startWith(const QString& name, const kvxtest::Bytes& dwg) {
        dir = session->fx.desktop() + "/plans";
        QDir().mkpath(dir);
        kvxtest::writeFile(QFile::encodeName(dir + "/" + name).toStdString(), dwg);
        kvx::createForms({});
        QVERIFY(Form1->ShellTreeView1->selectPath(dir));
        kvx::MessageSeam::clear();
    }
    // Broad blocks of colour: what a JPEG keeps faithfully, unlike pixel-sized detail.
    static kvxtest::Bytes drawing() {
        kvxtest::Image image(252, 126, 250, 250, 250);
        image.fillRect(0, 0, 126, 63, 0xC02020);
        image.fillRect(126, 63, 126, 63, 0x2040C0);
        image.fillRect(40, 80, 60, 30, 0x20A040);
        return kvxtest::DwgBuilder("AC1018").headerData().bmp(kvxtest::makeBmp(image, {24})).build();
    }

private slots:
    void init() { session = std::make_unique<WindowSession>(); }
    void cleanup() { session.reset(); }

    void plainNameWritesPictureAndPage() {
        startWith("site.dwg", drawing());
        Form1->SpeedButton6->click();
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        const QString drawingPath = dir + "/site.dwg";
        QImage jpeg;
        QVERIFY(jpeg.load(drawingPath + ".jpg", "JPG"));
        QCOMPARE(jpeg.size(), QSize(252, 126));
        const QByteArray bytes = readAll(drawingPath + ".jpg");
        QVERIFY(bytes.contains("JFIF"));
        QVERIFY(bytes.contains("\xFF\xC0")); // baseline
        const QImage grab = Form1->grabPreviewArea();
        QVERIFY2(meanDifference(jpeg, grab) < 4.0,
                 qPrintable(QStringLiteral("the picture is the preview area: %1")
                                .arg(meanDifference(jpeg, grab))));

        const QByteArray page = readAll(drawingPath + ".htm");
        const QList<QByteArray> lines = page.split('\n');
        QCOMPARE(lines.size(), 24); // 23 lines, each ended by CR LF
        QVERIFY(lines[2].contains("File name: <font color=\"#FF0000\">site</font>"));
        QVERIFY(lines[4].contains("<img src=\"site.dwg.jpg\" border=\"1\">"));
        QVERIFY(lines[7].contains(">" + QFile::encodeName(drawingPath) + "</font>"));
        QVERIFY(lines[11].contains(">Version 2004/2005</font>"));
        const QString modified =
            kvx::reportTime(QFileInfo(drawingPath).lastModified(), QLocale::system());
        QVERIFY(lines[15].contains(">" + modified.toUtf8() + "</font>"));
        QVERIFY(lines[19].contains(">" + QByteArray::number(QFileInfo(drawingPath).size()) +
                                   " octets</font>"));
        // The drawing stays selected and shown; the report files do not join the list.
        QCOMPARE(Form1->FileListBox1->count(), 1);
        QCOMPARE(CurrentDrawingPath, drawingPath);
    }

    // The report's picture is drawn apart from the window, yet is the area on screen pixel for
    // pixel in the light theme: a picture as stored or enlarged, the note, the notices.
    void reportPictureIsTheAreaOnScreen_data() {
        QTest::addColumn<QByteArray>("dwg");
        QTest::addColumn<bool>("zoom");
        QTest::addColumn<QString>("notice"); // in the picture's place, if any
        const kvxtest::Image small = kvxtest::Image::pattern(90, 40, 12);
        const auto png = kvxtest::DwgBuilder("AC1018").headerData().png(kvxtest::makePng(small));
        QTest::newRow("picture") << toBytes(drawing()) << false << "";
        QTest::newRow("small picture") << toBytes(png.build()) << false << "";
        QTest::newRow("small picture enlarged") << toBytes(png.build()) << true << "";
        QTest::newRow("no picture")
            << toBytes(kvxtest::DwgBuilder("AC1018").headerData().withoutImageSection().build())
            << false << "";
        QTest::newRow("older release") << toBytes(kvxtest::DwgBuilder("AC1009").build()) << false
                                       << "File previous to AutoCAD 13. Not preview available.";
        kvxtest::Bytes cut = drawing();
        cut.resize(cut.size() - 200);
        QTest::newRow("damaged") << toBytes(cut) << false << "! Corrupted file !";
    }
    void reportPictureIsTheAreaOnScreen() {
        QFETCH(QByteArray, dwg);
        QFETCH(bool, zoom);
        QFETCH(QString, notice);
        startWith("a.dwg", kvxtest::Bytes(dwg.begin(), dwg.end()));
        Form1->CheckBox3->setChecked(zoom);
        Form1->FileListBox1Click();
        QCOMPARE(Form1->Label4->isHidden() ? QString() : Form1->Label4->text(), notice);
        QCOMPARE(Form1->reportPicture(), Form1->grabPreviewArea());
    }

    void awkwardNameIsEscapedInThePageOnly() {
        const QString name = QString::fromUtf8("R&D <plan> \"été\" #2.dwg");
        startWith(name, drawing());
        Form1->WriteDrawingReport();
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        const QString drawingPath = dir + "/" + name;
        QVERIFY(QFile::exists(drawingPath + ".jpg"));
        const QByteArray page = readAll(drawingPath + ".htm");
        QVERIFY(page.contains(">R&amp;D &lt;plan&gt; &quot;&#233;t&#233;&quot; #2</font>"));
        QVERIFY(page.contains(
            "src=\"R&amp;D &lt;plan&gt; &quot;&#233;t&#233;&quot; %232.dwg.jpg\""));
        for (char c : page)
            QVERIFY(static_cast<unsigned char>(c) < 0x80);
    }

    void largePictureRepeatsEachPixel() {
        startWith("big.dwg", drawing());
        Form1->CheckBox8->setChecked(true);
        Form1->WriteDrawingReport();
        QImage jpeg;
        QVERIFY(jpeg.load(dir + "/big.dwg.jpg", "JPG"));
        QCOMPARE(jpeg.size(), QSize(504, 252));
        const QImage doubled = Form1->grabPreviewArea().scaled(504, 252);
        QVERIFY(meanDifference(jpeg, doubled) < 4.0);
    }

    void noticeIsWhatThePictureShows() {
        startWith("old.dwg", kvxtest::DwgBuilder("AC1009").build());
        Form1->WriteDrawingReport();
        QImage jpeg;
        QVERIFY(jpeg.load(dir + "/old.dwg.jpg", "JPG"));
        QVERIFY(meanDifference(jpeg, Form1->grabPreviewArea()) < 4.0);
        // The notice's black text is in it, not an empty area.
        int dark = 0;
        for (int y = 0; y < jpeg.height(); ++y)
            for (int x = 0; x < jpeg.width(); ++x)
                dark += qGray(jpeg.pixel(x, y)) < 80;
        QVERIFY(dark > 100);
    }

    void drawingWithoutPictureGivesTheSameBytesInEveryTheme() {
        // A light theme and a dark one, as the program starts under each.
        const QPalette before = QApplication::palette();
        QByteArray written[2];
        const QColor windows[2] = {QColor(0xef, 0xef, 0xef), QColor(0x35, 0x35, 0x35)};
        for (int i = 0; i < 2; ++i) {
            QApplication::setPalette(QPalette(windows[i], windows[i]));
            startWith("bare.dwg", kvxtest::DwgBuilder("AC1018").build());
            QVERIFY(Form1->DwgThumbnail1->isVisibleTo(Form1)); // offered, nothing stored
            QCOMPARE(Form1->GroupBox2->palette().color(QPalette::Window), windows[i]);
            Form1->WriteDrawingReport();
            written[i] = readAll(dir + "/bare.dwg.jpg");
            // The window keeps the theme's colours.
            QCOMPARE(Form1->GroupBox2->palette().color(QPalette::Window), windows[i]);
            QCOMPARE(Form1->DwgThumbnail1->palette().color(QPalette::Window), windows[i]);
            kvx::destroyForms();
        }
        QApplication::setPalette(before);
        QVERIFY(!written[0].isEmpty());
        QVERIFY2(written[0] == written[1], "the report picture depends on the theme");
    }

    void pictureIsThePreviewWhateverTheWindowShows() {
        startWith("site.dwg", drawing());
        const QImage shown = Form1->grabPreviewArea();
        // Another tab in front (as during a batch from the Index tab), then the window hidden.
        Form1->PageControl1->setCurrentWidget(Form1->Html);
        Form1->WriteDrawingReport();
        QImage jpeg;
        QVERIFY(jpeg.load(dir + "/site.dwg.jpg", "JPG"));
        QVERIFY(meanDifference(jpeg, shown) < 4.0);
        Form1->hide();
        QFile::remove(dir + "/site.dwg.jpg");
        Form1->WriteDrawingReport();
        QVERIFY(jpeg.load(dir + "/site.dwg.jpg", "JPG"));
        QVERIFY(meanDifference(jpeg, shown) < 4.0);
    }

    void existingReportIsReplaced() {
        startWith("site.dwg", drawing());
        QFile old(dir + "/site.dwg.htm");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
        old.close();
        Form1->WriteDrawingReport();
        QVERIFY(readAll(dir + "/site.dwg.htm").startsWith("<html>"));
        QVERIFY(QFileInfo(dir + "/site.dwg.htm").size() < 5000);
    }

    void failedWriteKeepsTheEarlierReport_data() {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("read-only folder") << false;
        QTest::newRow("file size limit (disk full)") << true;
    }
    void failedWriteKeepsTheEarlierReport() {
        QFETCH(bool, fullDisk);
        startWith("site.dwg", drawing());
        Form1->WriteDrawingReport();
        const QByteArray jpg = readAll(dir + "/site.dwg.jpg");
        const QByteArray htm = readAll(dir + "/site.dwg.htm");
        QVERIFY(!jpg.isEmpty() && !htm.isEmpty());
        Form1->CheckBox8->setChecked(true); // a different picture this time
        const QStringList before = QDir(dir).entryList(QDir::Files | QDir::Hidden);

        std::unique_ptr<FolderLock> lock;
        struct rlimit saved {};
        if (fullDisk) {
            // Writing past the limit fails as a full disk would, for root too.
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &saved);
            struct rlimit small = saved;
            small.rlim_cur = 512;
            setrlimit(RLIMIT_FSIZE, &small);
        } else {
            lock = std::make_unique<FolderLock>(dir);
            if (!lock->locked())
                QSKIP("no way to make a folder refuse writes here");
        }
        Form1->SpeedButton6->click();
        if (fullDisk)
            setrlimit(RLIMIT_FSIZE, &saved);
        lock.reset();

        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Erreur"));
        QVERIFY2(shown[0].text.startsWith("Impossible de créer le fichier \"" + dir +
                                          "/site.dwg.jpg\". "),
                 qPrintable(shown[0].text));
        QCOMPARE(readAll(dir + "/site.dwg.jpg"), jpg);
        QCOMPARE(readAll(dir + "/site.dwg.htm"), htm);
        // No temporary file is left beside them.
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), before);
    }

    void drawingThatCannotBeMeasured() {
        startWith("site.dwg", drawing());
        QFile::remove(dir + "/site.dwg");
        Form1->SpeedButton6->click();
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text,
                 QStringLiteral("Impossible d'ouvrir le fichier \"%1\". Fichier introuvable")
                     .arg(dir + "/site.dwg"));
        QVERIFY(!QFile::exists(dir + "/site.dwg.jpg"));
    }

    void noSelectionWritesNothing() {
        startWith("site.dwg", drawing());
        Form1->FileListBox1->setItemIndex(-1);
        Form1->SpeedButton6Click();
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{"site.dwg"});
        QCOMPARE(Form1->FileListBox1->itemIndex(), -1);
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestReport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report.moc"
