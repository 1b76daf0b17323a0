// Settings restored into the window's controls at start-up, and each control writing its
// value the moment it changes, checked on the hive file's bytes.

#include "settings_fixture.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "preview/dwg_thumbnail.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <memory>

namespace {

QByteArray sz(const char* name, const char* text) {
    return QByteArray("\"") + name + "\"=\"" + text + "\"\r\n";
}

// Every value at its form default, so that start-up writes nothing back.
QByteArray quietValues() {
    return SettingsFixture::defaultValues() + sz("ontop", "1") + sz("supp", "1") +
           sz("ouvre", "1") + sz("temp", "4");
}

QStringList errorTexts() {
    QStringList texts;
    for (const auto& m : kvx::MessageSeam::shown())
        if (m.title == QLatin1String("Erreur"))
            texts << m.text;
    return texts;
}

} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<SettingsFixture> fx;

    void start(const QByteArray& values, const QStringList& args = {}) {
        fx = std::make_unique<SettingsFixture>(values);
        kvx::MessageSeam::clear();
        kvx::MessageSeam::setAutoAnswer(true);
        kvx::createForms(args);
    }

private slots:
    void cleanup() {
        kvx::destroyForms();
        fx.reset();
    }

    void allAbsentButTheBooleans() {
        start(SettingsFixture::defaultValues());
        QVERIFY(errorTexts().isEmpty());
        QVERIFY(!Form1->CheckBox2->isChecked());
        QVERIFY(!Form1->CheckBox1->isChecked());
        QVERIFY(!Form1->CheckBox6->isChecked());
        QVERIFY(Form1->RadioButton3->isChecked());
        QVERIFY(!Form1->RadioButton2->isChecked());
        QCOMPARE(Form1->TrackBar1->value(), 1);
        QVERIFY(!Form1->CheckBox3->isChecked());
        QVERIFY(Form1->DwgThumbnail1->noMagnify());
        QCOMPARE(Form1->PageControl1->currentWidget(), Form1->TabSheet1);
        // Written back in the order start-up sets the controls.
        QCOMPARE(fx->hive(),
                 "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n" +
                     SettingsFixture::defaultValues() + sz("temp", "1") + sz("supp", "0") +
                     sz("ontop", "0") + sz("ouvre", "0"));
        QVERIFY(!QFile::exists(fx->autostartEntry()));
    }

    void tempTexts_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("position");
        QTest::addColumn<QByteArray>("written"); // empty: nothing changes
        QTest::newRow("7") << QByteArray("7") << 7 << QByteArray();
        QTest::newRow("25") << QByteArray("25") << 20 << QByteArray("20");
        QTest::newRow("abc") << QByteArray("abc") << 1 << QByteArray("1");
        QTest::newRow("blank 3x") << QByteArray(" 3x") << 3 << QByteArray("3");
        QTest::newRow("hex $C") << QByteArray("$C") << 12 << QByteArray("12");
        QTest::newRow("sign not applied") << QByteArray("-5") << 5 << QByteArray("5");
        QTest::newRow("empty") << QByteArray("") << 1 << QByteArray("1");
    }
    void tempTexts() {
        QFETCH(QByteArray, stored);
        QFETCH(int, position);
        QFETCH(QByteArray, written);
        const QByteArray values = SettingsFixture::defaultValues() + sz("ontop", "1") +
                                  sz("supp", "1") + sz("ouvre", "1") + sz("temp", stored);
        start(values);
        const QByteArray before =
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n" + values;
        QCOMPARE(Form1->TrackBar1->value(), position);
        QByteArray expected = before;
        if (!written.isEmpty())
            expected.replace(sz("temp", stored), sz("temp", written));
        QCOMPARE(fx->hive(), expected);
    }

    void numberRuleAgainstEqualsOne() {
        start(quietValues().replace(sz("ontop", "1"), sz("ontop", "01")) + sz("effhtml", "01") +
              sz("effjpg", "1"));
        QVERIFY(Form1->CheckBox2->isChecked());  // number 1
        QVERIFY(!Form1->CheckBox4->isChecked()); // not exactly "1"
        QVERIFY(Form1->CheckBox5->isChecked());
        QCOMPARE(QString::fromStdString(kvx::SettingCopies.effhtml), QStringLiteral("01"));
        QCOMPARE(QString::fromStdString(kvx::SettingCopies.effjpg), QStringLiteral("1"));
    }

    void controlsWriteAtOnce() {
        start(quietValues());
        Form1->TrackBar1->setValue(12);
        QVERIFY(fx->hive().contains(sz("temp", "12")));

        Form1->CheckBox7->setChecked(true);
        QVERIFY(fx->hive().contains("\"autoname\"=dword:00000001\r\n"));
        QVERIFY(!Form1->Edit4->isEnabled());
        QVERIFY(!Form1->Label14->isEnabled());
        Form1->CheckBox7->setChecked(false);
        QVERIFY(fx->hive().contains("\"autoname\"=dword:00000000\r\n"));
        QVERIFY(Form1->Edit4->isEnabled() && Form1->Label14->isEnabled());

        Form1->CheckBox8->setChecked(true);
        QVERIFY(fx->hive().contains("\"bigimage\"=dword:00000001\r\n"));
        Form1->CheckBox4->setChecked(true);
        QVERIFY(fx->hive().contains(sz("effhtml", "1")));
        QCOMPARE(QString::fromStdString(kvx::SettingCopies.effhtml), QStringLiteral("1"));
        Form1->CheckBox5->setChecked(true);
        Form1->CheckBox5->setChecked(false);
        QVERIFY(fx->hive().contains(sz("effjpg", "0")));
        QCOMPARE(QString::fromStdString(kvx::SettingCopies.effjpg), QStringLiteral("0"));
        Form1->CheckBox1->setChecked(false);
        QVERIFY(fx->hive().contains(sz("supp", "0")));
        Form1->CheckBox2->setChecked(false);
        QVERIFY(fx->hive().contains(sz("ontop", "0")));
        Form1->RadioButton3->setChecked(true);
        QVERIFY(fx->hive().contains(sz("ouvre", "0")));
        Form1->RadioButton2->setChecked(true);
        QVERIFY(fx->hive().contains(sz("ouvre", "1")));

        Form1->CheckBox3->setChecked(true);
        QVERIFY(fx->hive().contains(sz("zoom", "1")));
        QVERIFY(!Form1->DwgThumbnail1->noMagnify());
        QVERIFY(errorTexts().isEmpty());
    }

    void leavingEdit4StoresItsText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("empty") << QString() << sz("indexname", "");
        QTest::newRow("quotes and backslash")
            << QStringLiteral("a\"b\\c") << QByteArray("\"indexname\"=\"a\\\"b\\\\c\"\r\n");
        QTest::newRow("accented") << QStringLiteral("plans été")
                                  << sz("indexname", "plans \xE9t\xE9");
    }
    void leavingEdit4StoresItsText() {
        QFETCH(QString, text);
        QFETCH(QByteArray, line);
        start(quietValues() + sz("indexname", "old"));
        QCOMPARE(Form1->Edit4->text(), QStringLiteral("old"));
        Form1->show();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        Form1->PageControl1->setCurrentWidget(Form1->Html);
        Form1->Edit4->setFocus();
        Form1->Edit4->selectAll();
        QTest::keyClick(Form1->Edit4, Qt::Key_Backspace);
        Form1->Edit4->insert(text); // as typed or pasted: typing alone stores nothing
        QCOMPARE(Form1->Edit4->text(), text);
        QVERIFY(fx->hive().contains(sz("indexname", "old")));
        Form1->CheckBox7->setFocus(); // leaving the box does
        QCOMPARE(fx->hive().count(line), 1);
    }

    // A name in Windows' code page, as its registry editor exports it: shown as its text, and
    // passing through the box leaves the file as it is.
    void aNameInWindowsCodePageIsShownAndKeptAsItIs() {
        start(quietValues() + QByteArray("\"indexname\"=\"Plans \xE9t\xE9\"\r\n"));
        const QByteArray exported = fx->hive();
        QCOMPARE(Form1->Edit4->text(), QStringLiteral("Plans été"));
        Form1->show();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        Form1->PageControl1->setCurrentWidget(Form1->Html);
        Form1->Edit4->setFocus();
        Form1->CheckBox7->setFocus();
        QCOMPARE(fx->hive(), exported);
        Form1->Edit4->setFocus();
        QTest::keyClick(Form1->Edit4, Qt::Key_End);
        QTest::keyClick(Form1->Edit4, Qt::Key_Backspace);
        Form1->CheckBox7->setFocus();
        QVERIFY(fx->hive().contains(QByteArray("\"indexname\"=\"Plans \xE9t\"\r\n")));
        QVERIFY(errorTexts().isEmpty());
    }

    void edit4IsLeftOnlyForAnotherControlOfTheWindow() {
        start(quietValues() + sz("indexname", "old"));
        Form1->show();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        Form1->PageControl1->setCurrentWidget(Form1->Html);
        Form1->Edit4->setFocus();
        Form1->Edit4->selectAll();
        Form1->Edit4->insert(QStringLiteral("typed"));
        // Switching to another program keeps the caret in the box: nothing is written.
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(fx->hive().contains(sz("indexname", "old")));
        other.hide();
        Form1->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        QVERIFY(fx->hive().contains(sz("indexname", "old")));
        // Closing the window with the caret in the box keeps what was typed.
        Form1->close();
        QVERIFY(fx->hive().contains(sz("indexname", "typed")));
        QVERIFY(errorTexts().isEmpty());
    }

    void startRewritesTheEntryWithThisProgram() {
        start(quietValues() + sz("start", "1"));
        QVERIFY(Form1->CheckBox6->isChecked());
        QFile entry(fx->autostartEntry());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray text = entry.readAll();
        QVERIFY(text.contains("Name=Korvenix 3.1\n"));
        QVERIFY2(
            text.contains("Exec=" + QCoreApplication::applicationFilePath().toUtf8() + " -w\n"),
            text.constData());
        QVERIFY(fx->hive().contains(sz("start", "1")));

        Form1->CheckBox6->setChecked(false);
        QVERIFY(!QFile::exists(fx->autostartEntry()));
        QVERIFY(fx->hive().contains(sz("start", "0")));
        // Unchecking with no entry to remove is no error.
        Form1->CheckBox6->setChecked(true);
        QFile::remove(fx->autostartEntry());
        Form1->CheckBox6->setChecked(false);
        QVERIFY(errorTexts().isEmpty());
    }

    void missingKeyStopsAtAutoname_data() {
        QTest::addColumn<QByteArray>("hive"); // null: no file at all
        QTest::newRow("no hive") << QByteArray();
        QTest::newRow("another key only") << QByteArray(
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"a\"=\"1\"\r\n");
        QTest::newRow("damaged") << QByteArray(
            "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n\"temp=\"4\r\n");
    }
    void missingKeyStopsAtAutoname() {
        QFETCH(QByteArray, hive);
        fx = std::make_unique<SettingsFixture>(QByteArray());
        if (!hive.isNull())
            fx->writeHive(hive);
        kvx::MessageSeam::clear();
        kvx::MessageSeam::setAutoAnswer(true);
        kvx::createForms({"-w"});
        // The settings file's name and what is wrong with it come below the box's own text.
        QCOMPARE(errorTexts().size(), 1);
        const QStringList lines = errorTexts().front().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("Echec à l'obtention des données pour 'autoname'"));
        QVERIFY2(lines[1].contains(QLatin1Char('\'') + fx->hivePath() + QLatin1Char('\'')),
                 qPrintable(lines[1]));
        // The rest of start-up is skipped: the form's own page, not minimised.
        QCOMPARE(Form1->PageControl1->currentWidget(), Form1->TabSheet3);
        QVERIFY(!Form1->startsMinimised());
        QVERIFY(Form1->isVisible());
        QCOMPARE(Form1->TrackBar1->value(), 4);
        QVERIFY(Form1->RadioButton2->isChecked());

        // Later changes report the write error and keep their new state.
        kvx::MessageSeam::clear();
        Form1->CheckBox1->setChecked(false);
        QCOMPARE(errorTexts(),
                 QStringList{QStringLiteral("Echec à la définition des données pour 'supp'")});
        QVERIFY(!Form1->CheckBox1->isChecked());
        Form1->CheckBox3->setChecked(true);
        QVERIFY(!Form1->DwgThumbnail1->noMagnify()); // the preview follows all the same
        // Nothing ever creates or repairs the hive.
        QCOMPARE(fx->hive(), hive.isNull() ? QByteArray() : hive);
    }

    void missingBigimageStopsAfterAuto() {
        start(QByteArray("\"autoname\"=dword:00000001\r\n") + sz("temp", "9"));
        QCOMPARE(errorTexts().size(), 1);
        QCOMPARE(errorTexts().front().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("Echec à l'obtention des données pour 'bigimage'"));
        QVERIFY(Form1->CheckBox7->isChecked());
        QVERIFY(!Form1->CheckBox8->isChecked());
        QCOMPARE(Form1->TrackBar1->value(), 4); // steps after it did not run
        QCOMPARE(Form1->PageControl1->currentWidget(), Form1->TabSheet3);
    }

    void textValueOfTheWrongType() {
        start(quietValues().replace(sz("supp", "1"), "\"supp\"=dword:00000001\r\n"));
        QCOMPARE(errorTexts(),
                 QStringList{QStringLiteral("Type de données incorrect pour 'supp'")});
        QCOMPARE(Form1->PageControl1->currentWidget(), Form1->TabSheet3);
    }

    void unwritableAutostartFolder() {
        fx = std::make_unique<SettingsFixture>(quietValues() + sz("start", "1"));
        // A plain file where the autostart folder should be: no entry can go in.
        QFile blocker(fx->configHome() + "/autostart");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QByteArray before = fx->hive();
        kvx::MessageSeam::clear();
        kvx::MessageSeam::setAutoAnswer(true);
        kvx::createForms({});
        QCOMPARE(errorTexts(), QStringList{QStringLiteral(
                                   "Echec à la définition des données pour 'Korvenix 3.1'")});
        QVERIFY(Form1->CheckBox6->isChecked());
        QCOMPARE(Form1->PageControl1->currentWidget(), Form1->TabSheet3); // start-up stopped
        QCOMPARE(fx->hive(), before);                                     // "start" untouched

        // Unchecking still stores "0".
        kvx::MessageSeam::clear();
        Form1->CheckBox6->setChecked(false);
        QVERIFY(errorTexts().isEmpty());
        QVERIFY(fx->hive().contains(sz("start", "0")));
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestSettingsWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_window.moc"
