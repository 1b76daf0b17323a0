// Erasing the drawing selected in the View tab's list.

#include "app/main_window.h"

#include "actions/flash_form.h"
#include "app/application.h"
#include "app/message_box.h"
#include "drawing/file_list_box.h"

#include <QCheckBox>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// A failed delete keeps the design's text and adds the system's reason on a second line: on
// this platform the cause is a folder or a right, never a CAD program holding the file.
void reportDeleteFailure(const QString& target, int errorNumber) {
    kvx::showError(QStringLiteral("File ") + target +
                   QStringLiteral(" is open in AutoCAD and can't be deleted.\n") +
                   QString::fromLocal8Bit(std::strerror(errorNumber)));
}

} // namespace

void TForm1::SpeedButton2Click() {
    endSlideShow(); // the list is about to change under the show
    int index = FileListBox1->itemIndex();
    if (index < 0)
        return;
    // Shown in the messages; the file itself is reached through its bytes.
    const QString target = FileListBox1->selectedPath();
    const std::string file = FileListBox1->selectedNativePath();
    if (CheckBox1->isChecked()) {
        if (kvx::messageDlg(QStringLiteral("Delete file ") + target, kvx::MsgKind::Warning,
                            kvx::MbOk | kvx::MbCancel, kvx::MbOk) != kvx::MbOk)
            return;
        // The file is removed at once, not moved to a wastebasket.
        if (std::remove(file.c_str()) == 0)
            FileListBox1->rereadFolder();
        else
            reportDeleteFailure(target, errno);
    } else {
        if (std::remove(file.c_str()) != 0)
            reportDeleteFailure(target, errno);
        FileListBox1->rereadFolder();
    }
    // The caption counts what the list now holds, as after a folder change.
    showFileCount();
    Form3->exec();
    if (index == FileListBox1->count())
        --index;
    FileListBox1->setItemIndex(index);
    FileListBox1Click();
}
