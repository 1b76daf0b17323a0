// RunProgram with small shell scripts: what the started program receives, a program that
// cannot start, a wait that keeps the window live, and a start that is let go at once.

#include "app/message_box.h"
#include "index/run_program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
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
        QVERIFY(RunProgram(program, argument, true, kvx::SwMinimize));
        // One argument, in the working folder we have, with the show state as a hint.
        QCOMPARE(readAll(out), "1|" + received + "|" + QDir::currentPath().toUtf8() + "|6");
    }

    void programThatCannotStartGivesFalseAndShowsNothing() {
        kvx::MessageSeam::clear();
        const QString notExecutable = tools() + "/plain.txt";
        QFile f(notExecutable);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        for (const QString& program : {tools() + "/missing.exe", notExecutable}) {
            QVERIFY(!RunProgram(program, "x", true, kvx::SwMinimize));
            QVERIFY(!RunProgram(program, "x", false, kvx::SwShowMaximized));
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
        QVERIFY(RunProgram(program, QString(), true, kvx::SwMinimize));
        timer.stop();
        QVERIFY(QFile::exists(done)); // returned only once the program had ended
        QVERIFY2(ticks >= 2, qPrintable(QString::number(ticks)));
        QVERIFY(window.paints > paintsBefore);
    }

    void noWaitReturnsAtOnceAndLeavesNoZombie() {
        const QString out = tmp.path() + "/detached.txt";
        const QString release = tmp.path() + "/release";
        // The program records its parent, then waits until we let it end.
        const QString program =
            writeScript(tools() + "/viewer.sh",
                        "echo $PPID > '" + out.toUtf8() + ".part'; mv '" + out.toUtf8() +
                            ".part' '" + out.toUtf8() + "'\nwhile [ ! -e '" + release.toUtf8() +
                            "' ]; do sleep 0.1; done\necho ended >> '" + out.toUtf8() + "'\n");
        QVERIFY(RunProgram(program, "a.chm", false, kvx::SwShowMaximized));
        // We are back while it still runs: it cannot end before it is released.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 60000);
        const QByteArray parent = readAll(out).trimmed();
        QVERIFY(parent != QByteArray::number(::getpid())); // not our child: nothing to reap
        QFile(release).open(QIODevice::WriteOnly);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(out).contains("ended"), 60000);
        QTest::qWait(200);
        QCOMPARE(zombieChildren(), 0);
    }
};

QTEST_MAIN(TestRunProgram)
#include "tst_run_program.moc"
