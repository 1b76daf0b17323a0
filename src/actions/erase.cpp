// Erasing the drawing selected in the View tab's list.

#include "app/main_window.h"

#include "actions/flash_form.h"
#include "app/application.h"
#include "app/message_box.h"
#include "drawing/file_list_box.h"

#include <QCheckBox>
#include <QFile>

void TForm1::SpeedButton2Click() {
    endSlideShow(); // the list is about to change under the show
    int index = FileListBox1->itemIndex();
    if (index < 0)
        return;
    const QString target = FileListBox1->selectedPath();
    if (CheckBox1->isChecked()) {
        if (kvx::messageDlg(QStringLiteral("Delete file ") + target, kvx::MsgKind::Warning,
                            kvx::MbOk | kvx::MbCancel, kvx::MbOk) != kvx::MbOk)
            return;
        // The file is removed at once, not moved to a wastebasket.
        if (QFile::remove(target))
            FileListBox1->rereadFolder();
        else
            kvx::showError(QStringLiteral("File ") + target +
                           QStringLiteral(" is open in AutoCAD and can't be deleted."));
    } else {
        QFile::remove(target);
        FileListBox1->rereadFolder();
    }
    Form3->exec();
    if (index == FileListBox1->count())
        --index;
    FileListBox1->setItemIndex(index);
    FileListBox1Click();
}
