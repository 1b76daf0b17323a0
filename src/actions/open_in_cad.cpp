// The Open button: the current drawing opened in the CAD program of the release chosen on the
// Options tab, through the automation layer.

#include "actions/open_in_cad.h"

#include "app/main_window.h"
#include "app/message_box.h"
#include "drawing/file_list_box.h"

#include <QRadioButton>

kvx::Dispatch AutoCadApplication;

namespace {
const char* const kRelease15 = "AutoCad.Application.15";
const char* const kRelease16 = "AutoCad.Application.16";
// The CAD program's window state for "maximised".
const int kMaximised = 3;
} // namespace

void TForm1::SpeedButton1Click() {
    if (FileListBox1->count() == 0)
        return;
    const int index = FileListBox1->itemIndex();
    const QString progId = QLatin1String(RadioButton2->isChecked() ? kRelease15 : kRelease16);

    // A failed start leaves the reference of the previous Open in place.
    try {
        AutoCadApplication = kvx::getActiveObject(progId);
    } catch (const kvx::AutomationFailure&) {
        AutoCadApplication = kvx::createObject(progId);
    }
    AutoCadApplication.put(QStringLiteral("visible"), true);
    AutoCadApplication.put(QStringLiteral("windowstate"), kMaximised);

    // A drawing that does not open is not reported here: the empty document makes
    // "Activate" fail below, and that failure is the message the user sees. The CAD
    // program's reason, when it gave one, is its second line: the first says nothing a
    // user can act on.
    kvx::Dispatch document;
    QString whyNotOpened;
    try {
        const kvx::Dispatch documents =
            kvx::toDispatch(AutoCadApplication.get(QStringLiteral("Documents")));
        document = kvx::toDispatch(documents.invoke(QStringLiteral("Open"), {CurrentDrawingPath}));
    } catch (const kvx::AutomationFailure& e) {
        whyNotOpened = e.text();
    }
    try {
        document.invoke(QStringLiteral("Activate"));
    } catch (const kvx::AutomationFailure& e) {
        if (e.error() != kvx::AutomationError::NotAnObject || whyNotOpened.isEmpty())
            throw;
        throw kvx::AutomationFailure(e.error(), e.text() + QLatin1Char('\n') + whyNotOpened);
    }

    if (isVisible() && isEnabled()) {
        raise();
        activateWindow();
    }
    // The CAD program's window may come up after the box: the box stays above it, or the
    // user would face a blocked window and no box to answer.
    kvx::messageDlg(QStringLiteral("File ") + CurrentDrawingPath + QStringLiteral(" open."),
                    kvx::MsgKind::Information, kvx::MbOk, kvx::MbOk, this, true);
    FileListBox1->repaint();
    FileListBox1->setItemIndex(index);
    FileListBox1Click();
}
