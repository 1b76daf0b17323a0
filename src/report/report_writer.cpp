// The Report button: grabs the preview area and has the report written beside the drawing.

#include "app/main_window.h"

#include "actions/flash_form.h"
#include "app/application.h"
#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "report/drawing_report.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QListWidgetItem>

namespace {

constexpr int kPreviewWidth = 252;
constexpr int kPreviewHeight = 126;
// Black on the light grey of a classic button face, fixed.
const QPalette& reportPalette() {
    static const QPalette palette(QColor(0xf0, 0xf0, 0xf0));
    return palette;
}

} // namespace

QImage TForm1::grabPreviewArea() const {
    // The preview area itself, whatever window is active and even while this one is hidden.
    // Rendered straight into a picture of the report's size, at one pixel per point whatever
    // the screen's scale, and in light colours whatever the desktop's theme: a report is a
    // page with a white background, and the same drawing gives the same picture everywhere.
    const bool ownPalette = GroupBox2->testAttribute(Qt::WA_SetPalette);
    const QPalette shown = GroupBox2->palette();
    GroupBox2->setPalette(reportPalette());
    QImage image(kPreviewWidth, kPreviewHeight, QImage::Format_RGB32);
    GroupBox2->render(&image, QPoint(), QRegion(8, 24, kPreviewWidth, kPreviewHeight),
                      QWidget::DrawWindowBackground | QWidget::DrawChildren);
    // Back to the theme's colours; a palette never set is inherited again.
    GroupBox2->setPalette(ownPalette ? shown : QPalette());
    return image.convertToFormat(QImage::Format_RGB888);
}

void TForm1::WriteDrawingReport() {
    if (FileListBox1->itemIndex() < 0)
        return;
    kvx::DrawingReport report;
    report.drawingPath = FileListBox1->selectedNativePath();
    report.name = FileListBox1->nativeName(FileListBox1->itemIndex());
    report.version = QString::fromStdString(kvx::CurrentVersionLabel);
    report.preview = grabPreviewArea();
    report.bigImage = CheckBox8->isChecked();
    report.batch = m_reportBatch;
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
