// The process runner with small shell scripts: the argument received, a program that cannot
// start, a wait that keeps the window live, a program waited for that ends with us, and a
// start let go at once.

#include "app/message_box.h"
#include "index/run_program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <unistd.h>

namespace {

QString writeScript(const QString& path, const QByteArray& body) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("#!/bin/sh\n" + body);
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Children of this process that have ended but were never reaped.
int zombieChildren() {
    int count = 0;
    const QString self = QString::number(::getpid());
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
        // pid (name) state ppid ...: the name may hold blanks, so read after its ")".
        const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest[0] == "Z" && rest[1] == self.toLatin1())
            ++count;
    }
    return count;
}

// Alive: neither gone nor a zombie waiting for whoever inherited it.
bool alive(pid_t pid) {
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    return !stat.isEmpty() && !stat.mid(stat.lastIndexOf(')') + 2).startsWith('Z');
}

// This test run as a parent that waits for one program: "--wait-for program".
const char* const kWaitFor = "--wait-for";

// Waits as the index build waits for the compiler: its own event loop, woken by the end.
bool runAndWait(const QString& program, const QString& argument, int showState) {
    kvx::ProgramRun run;
    if (!run.start({program, argument, {}, {}}, showState, false))
        return false;
    if (run.running()) {
        QEventLoop loop;
        QObject::connect(&run, &kvx::ProgramRun::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool letGo(const QString& program, const QString& argument, int showState) {
    return kvx::startDetached({program, argument, {}, {}}, showState);
}

class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

} // namespace

class TestRunProgram : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp;
    // A tool folder with blanks and an accent, as an installation under a user's folder.
    QString tools() const { return tmp.path() + QString::fromUtf8("/tool folder été"); }

private slots:
    void initTestCase() {
        QVERIFY(QDir().mkpath(tools()));
        QVERIFY(QDir().mkpath(tmp.path() + "/work dir"));
        QDir::setCurrent(tmp.path() + "/work dir");
    }

    void argumentArrivesWholeAndUnquoted_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QByteArray>("received");
        QTest::newRow("quoted, with blanks")
            << "\"C:/My plans/index.htm\"" << QByteArray("C:/My plans/index.htm");
        QTest::newRow("bare") << "/tmp/a b.chm" << QByteArray("/tmp/a b.chm");
        QTest::newRow("inner quotes stay") << "a\"b" << QByteArray("a\"b");
        QTest::newRow("lone quote") << "\"" << QByteArray("\"");
    }
    void argumentArrivesWholeAndUnquoted() {
        QFETCH(QString, argument);
        QFETCH(QByteArray, received);
        const QString out = tmp.path() + "/args.txt";
        const QString program =
            writeScript(tools() + "/hhc.exe", "printf '%s|%s|%s|%s' \"$#\" \"$1\" \"$(pwd)\" "
                                              "\"$KORVENIX_SHOW_STATE\" > '" +
                                                  out.toUtf8() + "'\n");
        QFile::remove(out);
        QVERIFY(runAndWait(program, argument, kvx::SwMinimize));
        // One argument, in the working folder we have, with the show state as a hint.
        QCOMPARE(readAll(out), "1|" + received + "|" + QDir::currentPath().toUtf8() + "|6");
    }

    void programThatCannotStartGivesFalseAndShowsNothing() {
        kvx::MessageSeam::clear();
        const QString notExecutable = tools() + "/plain.txt";
        QVERIFY(QFile(notExecutable).open(QIODevice::WriteOnly));
        for (const QString& program : {tools() + "/missing.exe", notExecutable}) {
            QVERIFY(!runAndWait(program, "x", kvx::SwMinimize));
            QVERIFY(!letGo(program, "x", kvx::SwShowMaximized));
        }
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void waitReturnsWhenTheProgramEndsAndTheWindowLivesMeanwhile() {
        const QString done = tmp.path() + "/done";
        const QString program =
            writeScript(tools() + "/slow.sh", "sleep 2\ntouch '" + done.toUtf8() + "'\n");
        PaintCounter window;
        window.resize(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, &window, [&] {
            ++ticks;
            window.update();
        });
        timer.start(50);
        const int paintsBefore = window.paints;
        QVERIFY(runAndWait(program, QString(), kvx::SwMinimize));
        timer.stop();
        QVERIFY(QFile::exists(done)); // returned only once the program had ended
        QVERIFY2(ticks >= 2 && window.paints > paintsBefore,
                 qPrintable(QString("%1 ticks, %2 paints").arg(ticks).arg(window.paints)));
    }

    // Killed while it waits, a parent takes the program it waits for along.
    void aProgramWaitedForEndsWithItsParent() {
        const QString pidFile = tmp.path() + "/child.pid";
        const QString program = writeScript(tools() + "/long.sh", "echo $$ > '" + pidFile.toUtf8() +
                                                                      "'\nexec sleep 600\n");
        QProcess parent;
        parent.start(QCoreApplication::applicationFilePath(), {kWaitFor, program});
        QVERIFY(parent.waitForStarted(-1));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(pidFile).endsWith('\n'), 60000);
        const pid_t child = readAll(pidFile).trimmed().toInt();
        const auto leftOver = qScopeGuard([child] {
            if (alive(child))
                ::kill(child, SIGKILL);
        });
        QVERIFY(alive(child));
        ::kill(static_cast<pid_t>(parent.processId()), SIGKILL);
        QVERIFY(parent.waitForFinished(-1));
        QTRY_VERIFY_WITH_TIMEOUT(!alive(child), 60000);
    }

    void noWaitReturnsAtOnceAndLeavesNoZombie() {
        const QString out = tmp.path() + "/detached.txt";
        const QString release = tmp.path() + "/release";
        // The program runs until we let it end.
        const QString program =
            writeScript(tools() + "/viewer.sh",
                        "touch '" + out.toUtf8() + "'\nwhile [ ! -e '" + release.toUtf8() +
                            "' ]; do sleep 0.1; done\necho ended >> '" + out.toUtf8() + "'\n");
        QVERIFY(letGo(program, "a.chm", kvx::SwShowMaximized));
        // We are back while it still runs: it cannot end before it is released.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 60000);
        QVERIFY(!readAll(out).contains("ended"));
        QFile(release).open(QIODevice::WriteOnly);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(out).contains("ended"), 60000);
        QTest::qWait(200);
        QCOMPARE(zombieChildren(), 0);
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], kWaitFor) == 0) {
        QCoreApplication app(argc, argv);
        return runAndWait(QString::fromLocal8Bit(argv[2]), QString(), kvx::SwMinimize) ? 0 : 1;
    }
    QApplication app(argc, argv);
    TestRunProgram test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_run_program.moc"
