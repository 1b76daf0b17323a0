// The Report button: draws the preview area as it stands and has the report written beside
// the drawing.

#include "app/main_window.h"

#include "actions/flash_form.h"
#include "app/application.h"
#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "preview/dwg_thumbnail.h"
#include "preview/preview_area.h"
#include "report/drawing_report.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>

QImage TForm1::grabPreviewArea() const {
    // The preview area itself, whatever window is active and even while this one is hidden.
    // Rendered straight into a picture of the report's size, at one pixel per point whatever
    // the screen's scale.
    QImage image(kvx::kPreviewAreaWidth, kvx::kPreviewAreaHeight, QImage::Format_RGB32);
    GroupBox2->render(&image, QPoint(),
                      QRegion(8, 24, kvx::kPreviewAreaWidth, kvx::kPreviewAreaHeight),
                      QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_RGB888);
}

QImage TForm1::reportPicture() const {
    // What the area shows, drawn afresh with the light palette: the same picture whatever the
    // desktop's theme, and whether or not the area is on screen.
    kvx::PreviewAreaContent content;
    if (!DwgThumbnail1->isHidden()) {
        content = DwgThumbnail1->content();
    } else if (!Label4->isHidden()) {
        content.kind = kvx::PreviewAreaContent::Kind::Notice;
        content.notice = Label4->text();
    } else {
        content.kind = kvx::PreviewAreaContent::Kind::Empty;
    }
    return kvx::previewAreaPicture(content, kvx::reportPictureLook());
}

void TForm1::WriteDrawingReport() {
    if (FileListBox1->itemIndex() < 0)
        return;
    kvx::DrawingReport report;
    report.drawingPath = FileListBox1->selectedNativePath();
    report.name = FileListBox1->nativeName(FileListBox1->itemIndex());
    report.version = QString::fromStdString(kvx::CurrentVersionLabel);
    report.preview = reportPicture();
    report.bigImage = CheckBox8->isChecked();
    kvx::writeDrawingReport(report);
}

void TForm1::SpeedButton6Click() {
    if (FileListBox1->count() == 0)
        return; // nothing listed: nothing to report, no flash
    const int index = FileListBox1->itemIndex();
    WriteDrawingReport();
    Form3->exec();
    FileListBox1->rereadFolder();
    FileListBox1->setItemIndex(index);
    FileListBox1Click();
}
