// The commands that open a viewer: the last index, the program's help file, the web site,
// and "See Index file" at the end of an index build.

#include "app/main_window.h"

#include "app/message_box.h"
#include "files/file_name_text.h"
#include "index/result_dialog.h"
#include "index/run_program.h"
#include "index/tool_folder.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <sys/stat.h>

namespace {

// The product's web site; by default the start page of the help pages installed beside
// the program (<prefix>/bin/korvenix31 and <prefix>/share/korvenix31/help/).
QUrl webSite() {
    const QString configured = QString::fromUtf8(KORVENIX_WEB_SITE);
    if (!configured.isEmpty())
        return QUrl(configured);
    return QUrl::fromLocalFile(
        QDir::cleanPath(QCoreApplication::applicationDirPath() +
                        QStringLiteral("/../share/korvenix31/help/index.htm")));
}

// Opens `chm` (its path's bytes) in the tool folder's viewer, maximised.
void showInViewer(const std::string& chm) {
    kvx::RunOptions options;
    options.showState = kvx::SwShowMaximized;
    kvx::runProgramOnFile(kvx::toolFolderFile(kvx::kViewerName), chm, options);
}
} // namespace

void TForm1::SpeedButton9Click() {
    const std::string& last = kvx::lastIndexFile();
    struct stat st {};
    if (::stat(last.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        kvx::showError(QStringLiteral("Last created index file  ") + kvx::displayName(last) +
                       QStringLiteral(" can't be found."));
        return;
    }
    // The window shrinks out of the viewer's way.
    FormDblClick();
    showInViewer(last);
}

void TForm1::SpeedButton10Click() {
    // The help file is not looked for: the viewer says so itself when it is missing.
    showInViewer(kvx::nativeName(kvx::toolFolderFile(kvx::kHelpFileName)));
    FormDblClick();
}

void TForm1::SpeedButton5Click() {
    QDesktopServices::openUrl(webSite());
}

void TForm2::BitBtn1Click() {
    accept();
    if (Form1)
        Form1->FormDblClick();
    showInViewer(kvx::lastIndexFile());
}

void TForm2::SpeedButton1Click() {
    accept();
}
