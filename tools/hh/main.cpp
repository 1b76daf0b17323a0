// hh.exe: the tool folder's help viewer. One argument, a .chm path: its pages are unpacked
// into our cache folder and its default topic opens in the desktop's browser, which shows
// the index's frames and its Print button. The show state hint is left to the browser.
//
// Errors go to stderr, and into an "Erreur" box when a person can see one: a display is
// there (DISPLAY or WAYLAND_DISPLAY), Qt is not told to draw off screen
// (QT_QPA_PLATFORM=offscreen or minimal) and KORVENIX_NO_MESSAGE_BOX is unset. So tests and
// scripts never wait on a box nobody sees.
//
// KORVENIX_OPENER names the program that opens the page (default xdg-open); it receives the
// page's file:// address.

#include "chm_extract.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool canShowBox() {
    const char* off = std::getenv("KORVENIX_NO_MESSAGE_BOX");
    if (off && *off)
        return false;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform &&
        (std::strncmp(platform, "offscreen", 9) == 0 || std::strncmp(platform, "minimal", 7) == 0))
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

int fail(int& argc, char** argv, const QString& message) {
    std::fprintf(stderr, "hh.exe: %s\n", message.toLocal8Bit().constData());
    if (canShowBox()) {
        QApplication app(argc, argv);
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Erreur"), message, QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
        box.exec();
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "hh.exe: usage: hh.exe <file>.chm\n");
        return 2;
    }
    const QString chm = QFile::decodeName(argv[1]);
    const kvx::hh::Extraction e = kvx::hh::extractToCache(chm);
    for (const QString& name : e.refused)
        std::fprintf(stderr, "hh.exe: warning: entry \"%s\" left out: unsafe name\n",
                     name.toLocal8Bit().constData());
    if (e.error != kvx::hh::ViewError::None)
        return fail(argc, argv, e.message);

    const QByteArray opener = qgetenv("KORVENIX_OPENER");
    const QString program =
        opener.isEmpty() ? QStringLiteral("xdg-open") : QFile::decodeName(opener);
    const QString url = QUrl::fromLocalFile(e.topic).toString(QUrl::FullyEncoded);
    if (!QProcess::startDetached(program, {url}))
        return fail(argc, argv,
                    QStringLiteral("The browser opener \"%1\" can't be started.").arg(program));
    return 0;
}
