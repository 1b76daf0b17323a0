// The Open button against a recording stand-in CAD program on a private session bus.

#include "../app/window_session.h"
#include "support/dwg_builder.h"
#include "support/private_bus.h"

#include "actions/automation.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/path_label.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {

const QString k15 = "AutoCad.Application.15";
const QString k16 = "AutoCad.Application.16";
const QString kNotAnObject = QString::fromUtf8(kvx::kNotAnObjectText);

QStringList fileLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// What the stand-in records for one complete Open of `path`.
QStringList fiveCalls(const QString& progId, const QString& path) {
    return {progId + " visible 4 bool:true", progId + " windowstate 4 int:3",
            progId + " Documents 3", progId + " Open 1 QString:" + path, progId + " Activate 1"};
}

} // namespace

class TestOpen : public QObject {
    Q_OBJECT
public:
    TestOpen(const QString& root, PrivateBus* bus) : root(root), bus(bus) {}

private:
    QString root;
    PrivateBus* bus;
    std::unique_ptr<WindowSession> session;
    QString dir;

    QString services() const { return root + "/services"; }
    QString records() const { return root + "/records"; }
    QStringList calls() const { return fileLines(records() + "/calls"); }

    void setServices(const QStringList& progIds) {
        for (const QString& p : {k15, k16}) {
            const QString file = services() + "/" + kvx::busNameForProgId(p) + ".service";
            QFile::remove(file);
            if (progIds.contains(p))
                writeFile(file, "[D-BUS Service]\nName=" + kvx::busNameForProgId(p).toUtf8() +
                                    "\nExec=" KVX_FAKE_SERVER " " + p.toUtf8() + " " +
                                    records().toUtf8() + "\n");
        }
        PrivateBus::reload();
    }

    // The View tab on a folder of `names`, the second drawing selected.
    void startWith(const QStringList& names) {
        dir = session->fx.desktop() + "/mes plans";
        QDir().mkpath(dir);
        const kvxtest::Bytes dwg = kvxtest::DwgBuilder("AC1015").build();
        for (const QString& n : names)
            kvxtest::writeFile(QFile::encodeName(dir + "/" + n).toStdString(), dwg);
        kvx::createForms({});
        Form1->RadioButton3->setChecked(true);
        QVERIFY(Form1->ShellTreeView1->selectPath(dir));
        if (names.size() > 1) {
            Form1->FileListBox1->setItemIndex(1);
            Form1->FileListBox1Click();
        }
        kvx::MessageSeam::clear();
    }

private slots:
    void initTestCase() {
        QDir().mkpath(records());
        QVERIFY2(bus->running(), "dbus-daemon could not be started");
    }
    void init() {
        session = std::make_unique<WindowSession>();
        for (const QString& p : {k15, k16})
            QVERIFY(PrivateBus::stopOwner(kvx::busNameForProgId(p)));
        for (const char* f : {"/calls", "/fail", "/hang"})
            QFile::remove(records() + f);
        setServices({k15, k16});
    }
    void cleanup() { session.reset(); }
    void cleanupTestCase() {
        for (const QString& p : {k15, k16})
            PrivateBus::stopOwner(kvx::busNameForProgId(p));
    }

    void busNames_data() {
        QTest::addColumn<QString>("progId");
        QTest::addColumn<QString>("name");
        QTest::newRow("release 15") << k15 << "org.stalwen.Automation.AutoCad.Application._15";
        QTest::newRow("odd") << "My-CAD.2d app"
                             << "org.stalwen.Automation.My_CAD._2d_app";
        QTest::newRow("empty element") << "AutoCad..16" << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void busNames() {
        QFETCH(QString, progId);
        QFETCH(QString, name);
        QCOMPARE(kvx::busNameForProgId(progId), name);
    }

    void opensAndAttachesOnTheSecondClick() {
        startWith({"b.dwg", "plan été 1.dwg"});
        const QString path = dir + "/plan été 1.dwg";
        Form1->Label1->setText("stale");
        Form1->SpeedButton1->click();

        QCOMPARE(calls(), QStringList{k16 + " start"} + fiveCalls(k16, path));
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Information"));
        QCOMPARE(shown[0].text, "File " + path + " open.");
        QCOMPARE(shown[0].buttons, int(kvx::MbOk));
        QVERIFY(shown[0].aboveOthers); // not hidden by the CAD program's window
        QCOMPARE(Form1->FileListBox1->itemIndex(), 1);
        QCOMPARE(Form1->Label1->text(), path); // the selection handler ran again

        // Nothing selected: the drawing shown last is opened again, by the same server.
        const uint pid = PrivateBus::ownerPid(kvx::busNameForProgId(k16));
        Form1->FileListBox1->setItemIndex(-1);
        Form1->SpeedButton1->click();
        QCOMPARE(calls(),
                 QStringList{k16 + " start"} + fiveCalls(k16, path) + fiveCalls(k16, path));
        QCOMPARE(PrivateBus::ownerPid(kvx::busNameForProgId(k16)), pid);
        QCOMPARE(kvx::MessageSeam::shown().size(), 2);

        // Release 15 asked for: a server of its own, never the running ".16" one.
        Form1->RadioButton2->setChecked(true);
        Form1->FileListBox1->setItemIndex(1);
        Form1->FileListBox1Click();
        Form1->SpeedButton1->click();
        QCOMPARE(calls().mid(11), QStringList{k15 + " start"} + fiveCalls(k15, path));
    }

    void failures_data() {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("fail");
        QTest::addColumn<QString>("error"); // the start of the box's text
        QTest::addColumn<int>("calls");     // how many of the five calls were made
        QTest::newRow("no server at all")
            << QStringList() << QString()
            << "Cannot start the automation server for AutoCad.Application.16: " << -1;
        const QString fake = "Fake failure of ";
        QTest::newRow("visible") << QStringList{k16} << "visible" << fake + "visible" << 1;
        QTest::newRow("windowstate")
            << QStringList{k16} << "windowstate" << fake + "windowstate" << 2;
        // The CAD program's reason follows the design's text on a line of its own.
        QTest::newRow("Documents")
            << QStringList{k16} << "Documents" << kNotAnObject + "\n" + fake + "Documents" << 3;
        QTest::newRow("Open") << QStringList{k16} << "Open" << kNotAnObject + "\n" + fake + "Open"
                              << 4;
        QTest::newRow("Activate") << QStringList{k16} << "Activate" << fake + "Activate" << 5;
    }
    void failures() {
        QFETCH(QStringList, installed);
        QFETCH(QString, fail);
        QFETCH(QString, error);
        QFETCH(int, calls);
        setServices(installed);
        writeFile(records() + "/fail", fail.toUtf8());
        startWith({"a.dwg", "b.dwg"});
        Form1->Label1->setText("stale");
        Form1->SpeedButton1->click();

        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1); // no confirmation after the error
        QCOMPARE(shown[0].title, QStringLiteral("Erreur"));
        QVERIFY2(shown[0].text.startsWith(error), qPrintable(shown[0].text));
        if (error.startsWith(kNotAnObject))
            QCOMPARE(shown[0].text, error); // nothing after the reason
        const QStringList expected =
            calls < 0 ? QStringList()
                      : QStringList{k16 + " start"} + fiveCalls(k16, dir + "/b.dwg").mid(0, calls);
        QCOMPARE(this->calls(), expected);
        QCOMPARE(Form1->Label1->text(), QStringLiteral("stale")); // no refresh either
    }

    void aHungServerEndsTheClickAfterTheTimeOut() {
        writeFile(records() + "/hang", "windowstate");
        startWith({"a.dwg", "b.dwg"});
        // Started first with the usual wait, so a slow start is not taken for a hang.
        kvx::createObject(k16);
        const int usual = kvx::callTimeoutMs();
        kvx::setCallTimeoutMs(5000);
        Form1->SpeedButton1->click();
        kvx::setCallTimeoutMs(usual);
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(
            shown[0].text.startsWith(kvx::busNameForProgId(k16) + " did not answer within 5 s"),
            qPrintable(shown[0].text));
    }

    void noDrawingsListedDoesNothing() {
        startWith({});
        Form1->SpeedButton1->click();
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        QVERIFY(calls().isEmpty());
        QCOMPARE(PrivateBus::ownerPid(kvx::busNameForProgId(k16)), 0u);
    }
};

int main(int argc, char** argv) {
    // The bus comes first: the application may reach for the session bus as it starts.
    QTemporaryDir root;
    QDir().mkpath(root.path() + "/services");
    PrivateBus bus(root.path() + "/services");
    TApplication app(argc, argv);
    TestOpen test(root.path(), &bus);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_open.moc"
