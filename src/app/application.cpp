#include "app/application.h"

#include "actions/flash_form.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/title_bar.h"
#include "app/widget_factory.h"
#include "index/result_dialog.h"
#include "report/wait_window.h"

#include <QFont>
#include <QIcon>
#include <exception>

TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;

static void initKorvenixResources() {
#ifdef KORVENIX_HAVE_RESOURCES
    Q_INIT_RESOURCE(korvenix31);
#endif
}

namespace kvx {

const char* const kApplicationTitle = "Korvenix 3.1";

void reportCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
    } catch (...) {
        showError(QStringLiteral("Unknown error"));
    }
}

void runHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        reportCurrentException();
    }
}

void initResources() {
    static bool done = false;
    if (!done) {
        initKorvenixResources();
        done = true;
    }
}

QIcon programIcon() {
    initResources();
    QIcon icon;
    for (int size : {16, 32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

void createForms(const QStringList& arguments) {
    initResources();
    // The notification-area icon and every window show the program's icon.
    QApplication::setWindowIcon(programIcon());
    Form1 = new TForm1(arguments);
    Form2 = new TForm2;
    Form4 = new TForm4;
    Form3 = new TForm3;
    // Fixed-size windows: no maximise, whoever asks for it.
    for (QWidget* form : {static_cast<QWidget*>(Form1), static_cast<QWidget*>(Form2),
                          static_cast<QWidget*>(Form4)}) {
        kvx::refuseMaximise(form);
        if (kvx::ownTitleBars())
            kvx::addTitleBar(form);
    }
    // The window centres itself when it is first shown.
    if (!Form1->startsMinimised())
        Form1->show();
}

void destroyForms() {
    delete Form3;
    delete Form4;
    delete Form2;
    delete Form1;
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    Form4 = nullptr;
}

} // namespace kvx

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromLatin1(kvx::kApplicationTitle));
    setDesktopFileName(QStringLiteral("korvenix31"));
    // The window may hide in the notification area: only closing it or "Exit" ends the run.
    setQuitOnLastWindowClosed(false);
    // The forms' one font, the desktop's sans-serif face at 8 point, set for the whole program:
    // a style-sheeted group box hands its controls the program's font, not its window's.
    QFont font = QApplication::font();
    font.setPointSize(8);
    setFont(font);
    setStyleSheet(QString::fromLatin1(kvx::kFormStyleSheet));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        kvx::reportCurrentException();
        return false;
    }
}
