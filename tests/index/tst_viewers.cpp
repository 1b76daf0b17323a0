// The commands that open a viewer, on the real window, with a fake tool folder whose
// hh.exe records the argument it gets.

#include "../app/window_session.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "index/result_dialog.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <memory>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// Stands in for the desktop's browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestViewers : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowSession> session;
    QString tools, calls, index;

    // Start-up with the tool folder and the last index given in the settings.
    void start(const QString& lastchm) {
        session = std::make_unique<WindowSession>(SettingsFixture::defaultValues() + "\"path\"=\"" +
                                                  tools.toUtf8() + "\"\r\n\"lastchm\"=\"" +
                                                  lastchm.toUtf8() + "\"\r\n");
        kvx::createForms({});
        kvx::MessageSeam::clear();
    }
    // The arguments hh.exe was started with, one a line, once `count` have come.
    QList<QByteArray> viewerCalls(int count) {
        QDeadlineTimer deadline(60000);
        QByteArray text;
        while (!deadline.hasExpired() && (text = readAll(calls)).count('\n') < count)
            QTest::qWait(50);
        QList<QByteArray> lines = text.split('\n');
        lines.removeAll(QByteArray());
        return lines;
    }

private slots:
    void init() {
        // A folder of its own under the session's, blanks included.
        static int n = 0;
        tools = QDir::tempPath() + QStringLiteral("/kvx viewers %1-%2/tool folder")
                                       .arg(QCoreApplication::applicationPid())
                                       .arg(++n);
        QDir().mkpath(tools);
        calls = tools + "/calls";
        const QString hh = tools + "/hh.exe";
        QFile f(hh);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/calls\"\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        index = tools + "/../Plans/Plans.chm";
        QDir().mkpath(tools + "/../Plans");
    }
    void cleanup() {
        session.reset();
        QDir(tools + "/..").removeRecursively();
    }

    void missingLastIndexIsReported_data() {
        QTest::addColumn<bool>("built");
        QTest::newRow("no index built yet") << false;
        QTest::newRow("index since removed") << true;
    }
    void missingLastIndexIsReported() {
        QFETCH(bool, built);
        const QString last = built ? index : QString();
        start(last);
        Form1->SpeedButton9->click();
        const QList<kvx::ShownMessage> shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, kvx::MsgKind::Error);
        QCOMPARE(shown[0].text, "Last created index file  " + last + " can't be found.");
        if (!built)
            QCOMPARE(shown[0].text, QStringLiteral("Last created index file   can't be found."));
        QVERIFY(!Form1->compactMode());
        QTest::qWait(300);
        QVERIFY(!QFile::exists(calls));
    }

    void lastIndexOpensInTheViewer() {
        QFile(index).open(QIODevice::WriteOnly);
        start(index);
        Form1->SpeedButton9->click();
        QVERIFY(kvx::MessageSeam::shown().isEmpty());
        QVERIFY(Form1->compactMode());
        QCOMPARE(viewerCalls(1), QList<QByteArray>{index.toUtf8()});
    }

    void helpFileOpensFromTheTabAndTheTrayMenu() {
        start(QString());
        Form1->SpeedButton10->click();
        QVERIFY(Form1->compactMode());
        Form1->Aide1->trigger();
        QVERIFY(!Form1->compactMode()); // each toggles the compact form
        const QByteArray help = (tools + "/help_korvenix31.chm").toUtf8();
        QCOMPARE(viewerCalls(2), (QList<QByteArray>{help, help}));
        QVERIFY(kvx::MessageSeam::shown().isEmpty()); // the help file is not looked for
    }

    void resultDialogButtons() {
        start(index); // "See Index file" does not look for the file
        Form2->show();
        Form2->SpeedButton1->click();
        QCOMPARE(Form2->result(), int(QDialog::Accepted));
        QVERIFY(!Form2->isVisible());
        QVERIFY(!Form1->compactMode());

        Form2->setResult(QDialog::Rejected);
        Form2->show();
        Form2->BitBtn1->click();
        QCOMPARE(Form2->result(), int(QDialog::Accepted));
        QVERIFY(!Form2->isVisible());
        QVERIFY(Form1->compactMode());
        QCOMPARE(viewerCalls(1), QList<QByteArray>{index.toUtf8()});
    }

    void webSiteOpensInTheBrowser() {
        start(QString());
        UrlCatcher browser;
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &browser, "open");
        Form1->SpeedButton5->click();
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        QCOMPARE(browser.urls.size(), 1);
        const QString configured = QStringLiteral(KORVENIX_WEB_SITE);
        if (configured.isEmpty()) {
            // The help pages installed beside the program.
            const QString page = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                 "/../share/korvenix31/help/index.htm");
            QCOMPARE(browser.urls[0], QUrl::fromLocalFile(page));
        } else {
            QCOMPARE(browser.urls[0], QUrl(configured));
        }
    }
};

QTEST_MAIN(TestViewers)
#include "tst_viewers.moc"
