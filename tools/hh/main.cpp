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
// page's file:// address, every byte of the path outside letters and digits percent-encoded.
//
// The argument is used as the bytes it is, in the working folder it was given in: the
// program starts it that way for a folder whose name is not UTF-8.

#include "chm_extract.h"
#include "files/paths.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QProcess>

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

// `message` is UTF-8 with every name in it escaped.
int fail(int& argc, char** argv, const std::string& text) {
    std::fprintf(stderr, "hh.exe: %s\n", text.c_str());
    const QString message = QString::fromUtf8(text.c_str());
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
    const kvx::hh::Extraction e = kvx::hh::extractToCache(argv[1]);
    for (const std::string& warning : e.warnings)
        std::fprintf(stderr, "hh.exe: warning: %s\n", warning.c_str());
    if (e.error != kvx::hh::ViewError::None)
        return fail(argc, argv, e.message);

    const char* opener = std::getenv("KORVENIX_OPENER");
    const QString program =
        opener && *opener ? QFile::decodeName(opener) : QStringLiteral("xdg-open");
    const std::string url = kvx::hh::fileUrl(e.folder + "/" + e.topic);
    if (!QProcess::startDetached(program, {QString::fromLatin1(url.c_str())}))
        return fail(argc, argv,
                    "The browser opener \"" +
                        kvx::shownName(opener && *opener ? opener : "xdg-open") +
                        "\" can't be started.");
    return 0;
}
