// The View tab's handlers: the folder tree, the drawing list and the preview area.

#include "app/main_window.h"

#include "app/path_label.h"
#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "preview/dwg_thumbnail.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>

QString CurrentDrawingPath;

namespace {
const char* const kNotOffered = "File previous to AutoCAD 13. Not preview available.";
const char* const kCorrupted = "! Corrupted file !";
} // namespace

void TForm1::clearPreviewArea() {
    DwgThumbnail1->hide();
    Label1->setText(QString());
    Label5->hide();
    Label4->hide();
}

void TForm1::ShellTreeView1Change() {
    endSlideShow(); // a show never steps through another folder's list
    const QString folder = ShellTreeView1->selectedPath();
    if (folder.isEmpty()) {
        // A node with no folder of its own: the caption keeps the last count.
        FileListBox1->clearFolder();
        clearPreviewArea();
        return;
    }
    try {
        FileListBox1->setDirectory(folder);
    } catch (...) {
        // Nothing of the folder shown before stays on show beside the error.
        clearPreviewArea();
        GroupBox1->setTitle(QStringLiteral(" Files "));
        throw;
    }
    if (FileListBox1->count() == 0) {
        clearPreviewArea();
        GroupBox1->setTitle(QStringLiteral(" Files "));
        return;
    }
    DwgThumbnail1->show();
    FileListBox1->setItemIndex(0);
    FileListBox1Click();
    GroupBox1->setTitle(QStringLiteral(" Files (%1) ").arg(FileListBox1->count()));
}

void TForm1::FileListBox1Click() {
    const QString path = FileListBox1->selectedPath();
    const kvx::DrawingIdentity id =
        kvx::IdentifyDrawingVersion(QFile::encodeName(path).toStdString());
    showDrawing(path, id.offered);
}

void TForm1::showDrawing(const QString& path, bool offeredToPreview) {
    CurrentDrawingPath = path;
    Label1->setText(path);
    if (offeredToPreview) {
        DwgThumbnail1->show();
        Label4->hide();
        try {
            DwgThumbnail1->setDwgFileName(path);
        } catch (const std::exception&) {
            DwgThumbnail1->hide();
            Label4->show();
            Label4->setText(QString::fromLatin1(kCorrupted));
        }
    } else {
        DwgThumbnail1->hide();
        Label4->show();
        Label4->setText(QString::fromLatin1(kNotOffered));
    }
    Label5->setText(QString::fromStdString(kvx::CurrentVersionLabel));
    Label5->show();
    // Painted before returning: a report taken right after shows this drawing.
    repaint();
}

void TForm1::CheckBox3Click() {
    // The preview follows the box even when the setting cannot be saved; the drawing on
    // show is not read again.
    const bool zoom = CheckBox3->isChecked();
    DwgThumbnail1->setNoMagnify(!zoom);
    Settings.writeTextFlag("zoom", zoom);
}
