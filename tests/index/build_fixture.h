#pragma once
// A folder "Plans" on a private desktop, shown on the Index tab, with a tool folder whose
// hhc.exe is a small script: the surroundings of the index build and batch tests.

#include "app/window_session.h"
#include "support/dwg_builder.h"

#include "app/main_window.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "index/result_dialog.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

inline const QStringList kPages{"droite.htm", "gauche.htm", "haut.htm", "index.htm",
                                "miniatures.htm"};

inline void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QStringList sorted(QStringList names) {
    names.sort();
    return names;
}

inline void writeDrawings(const QString& dir, const QStringList& names) {
    const kvxtest::Bytes dwg = kvxtest::DwgBuilder("AC1018")
                                   .headerData()
                                   .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(120, 60, 16)))
                                   .build();
    for (const QString& name : names)
        kvxtest::writeFile(QFile::encodeName(dir + "/" + name).toStdString(), dwg);
}

// A hhc.exe that logs its argument and show state, then lists the folder into hhctest.chm.
// "gate": it first waits for the file "go" beside it. "fail": it says why and leaves nothing.
// "fail late": it leaves its hhctest.chm, then says why it failed.
inline QByteArray fakeCompiler(const QByteArray& tools, const QString& mode) {
    QByteArray s = "#!/bin/sh\necho \"$1|$KORVENIX_SHOW_STATE\" >> '" + tools + "/log'\n";
    if (mode == "fail")
        return s + "echo 'hhc.exe: the compile failed' >&2\nexit 1\n";
    if (mode == "gate")
        s += "while [ ! -e '" + tools + "/go' ]; do sleep 0.02; done\n";
    // "stubborn": deaf to a request to end, it runs on for half a minute unless killed.
    if (mode == "stubborn")
        s += "trap '' TERM\nn=0\nwhile [ $n -lt 600 ]; do sleep 0.05; n=$((n+1)); done\n";
    s += "d=$(dirname \"$1\")\nls \"$d\" > \"$d/.part\" && mv \"$d/.part\" \"$d/hhctest.chm\"\n";
    if (mode == "fail late")
        s += "echo 'hhc.exe: the compile failed' >&2\nexit 1\n";
    return s;
}

// Answers the result dialog with "Close" each time it comes up, and counts it.
struct ResultDialogWatch {
    ResultDialogWatch() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (Form2 && Form2->isVisible()) {
                ++shown;
                Form2->SpeedButton1->click();
            }
        });
        timer.start(10);
    }
    int shown = 0;
    QTimer timer;
};

class BuildFixture {
protected:
    std::unique_ptr<WindowSession> session;
    QString dir;
    QString tools;

    // A tool folder named by "path", the clean-up options, "Plans" on the desktop shown on
    // the Index tab.
    void start(const QString& compiler, const QString& clean = "", bool autoName = true,
               const std::function<void()>& fill = {}) {
        session = std::make_unique<WindowSession>();
        dir = session->fx.desktop() + "/Plans";
        tools = session->fx.configHome() + "/tool folder";
        QDir().mkpath(dir);
        QDir().mkpath(tools);
        const auto flag = [](bool on) { return QString(on ? "1" : "0"); };
        session->fx.writeHive(
            QString("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n"
                    "\"autoname\"=dword:0000000%1\r\n\"bigimage\"=dword:00000000\r\n"
                    "\"indexname\"=\"\"\r\n\"lastchm\"=\"/earlier/x.chm\"\r\n\"path\"=\"%2\"\r\n"
                    "\"effhtml\"=\"%3\"\r\n\"effjpg\"=\"%4\"\r\n")
                .arg(flag(autoName), tools, flag(clean.contains("html")),
                     flag(clean.contains("jpg")))
                .toLocal8Bit());
        if (!compiler.isEmpty()) {
            write(tools + "/hhc.exe", fakeCompiler(QFile::encodeName(tools), compiler));
            QFile::setPermissions(tools + "/hhc.exe", QFile::ReadOwner | QFile::ExeOwner);
        }
        if (fill)
            fill();
        kvx::createForms({});
        QVERIFY(Form1->ShellTreeView1->selectPath(dir));
        Form1->PageControl1->setCurrentWidget(Form1->Html);
        QCOMPARE(Form1->ShellTreeView2->selectedPath(), dir);
        kvx::MessageSeam::clear();
    }
    QString autoIndex() const { return QString(dir).replace('/', '_') + ".chm"; }
    QStringList files() const { return sorted(QDir(dir).entryList(QDir::Files)); }
    QStringList compilerRuns() const {
        return QString::fromUtf8(readAll(tools + "/log")).split('\n', Qt::SkipEmptyParts);
    }
    QString said() const {
        QStringList texts;
        for (const kvx::ShownMessage& m : kvx::MessageSeam::shown())
            texts << m.text;
        return texts.join('\n');
    }
};
