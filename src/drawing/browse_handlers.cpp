// The View tab's handlers: the folder tree, the drawing list and the preview area.

#include "app/main_window.h"

#include "app/path_label.h"
#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "preview/dwg_thumbnail.h"
#include "preview/preview_area.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>

QString CurrentDrawingPath;
std::string CurrentDrawingFile;

void TForm1::clearPreviewArea() {
    DwgThumbnail1->hide();
    Label1->setText(QString());
    Label5->hide();
    Label4->hide();
}

void TForm1::ShellTreeView1Change() {
    endSlideShow(); // a show never steps through another folder's list
    const std::string folder = ShellTreeView1->selectedNativePath();
    if (folder.empty()) {
        // A node with no folder of its own: the caption keeps the last count.
        FileListBox1->clearFolder();
        clearPreviewArea();
        return;
    }
    try {
        FileListBox1->setNativeDirectory(folder);
    } catch (...) {
        // Nothing of the folder shown before stays on show beside the error.
        clearPreviewArea();
        GroupBox1->setTitle(QStringLiteral(" Files "));
        throw;
    }
    if (FileListBox1->count() == 0) {
        clearPreviewArea();
        showFileCount();
        return;
    }
    DwgThumbnail1->show();
    FileListBox1->setItemIndex(0);
    FileListBox1Click();
    showFileCount();
}

void TForm1::showFileCount() {
    const int count = FileListBox1->count();
    GroupBox1->setTitle(count == 0 ? QStringLiteral(" Files ")
                                   : QStringLiteral(" Files (%1) ").arg(count));
}

void TForm1::FileListBox1Click() {
    // With nothing listed (an empty folder, the last drawing erased) there is no drawing to
    // name: no release and no notice, rather than an "old drawing" that is not there.
    if (FileListBox1->count() == 0) {
        CurrentDrawingFile.clear();
        CurrentDrawingPath.clear();
        clearPreviewArea();
        return;
    }
    const kvx::DrawingIdentity id = kvx::IdentifyDrawingVersion(FileListBox1->selectedNativePath());
    showDrawing(id.offered);
}

void TForm1::showDrawing(bool offeredToPreview, kvx::PreviewResult* read) {
    CurrentDrawingFile = FileListBox1->selectedNativePath();
    CurrentDrawingPath = FileListBox1->selectedPath();
    Label1->setText(CurrentDrawingPath);
    if (offeredToPreview) {
        DwgThumbnail1->show();
        Label4->hide();
        try {
            if (read)
                DwgThumbnail1->setDwgFile(CurrentDrawingFile, std::move(*read));
            else
                DwgThumbnail1->setDwgFile(CurrentDrawingFile);
        } catch (const std::exception&) {
            DwgThumbnail1->hide();
            Label4->show();
            Label4->setText(QString::fromLatin1(kvx::kDamagedNotice));
        }
    } else {
        DwgThumbnail1->hide();
        Label4->show();
        Label4->setText(QString::fromLatin1(kvx::kOlderReleaseNotice));
    }
    Label5->setText(QString::fromStdString(kvx::CurrentVersionLabel));
    Label5->show();
    // Painted before returning, so that the batch, which only now and then lets the event loop
    // run, shows its progress: what the changes above marked, as the event loop would paint
    // it (the rows whose selection changed, or the scroll by a row, the path, the preview).
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
}

void TForm1::CheckBox3Click() {
    // The preview follows the box even when the setting cannot be saved; the drawing on
    // show is not read again.
    const bool zoom = CheckBox3->isChecked();
    DwgThumbnail1->setNoMagnify(!zoom);
    Settings.writeTextFlag("zoom", zoom);
}
