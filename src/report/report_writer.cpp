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
#include <vector>

namespace {

constexpr int kPreviewWidth = 252;
constexpr int kPreviewHeight = 126;
// Black on the light grey of a classic button face, fixed. Every role is set explicitly, so
// that it wins over the theme's colours a control would otherwise keep.
const QPalette& reportPalette() {
    static const QPalette palette = [] {
        const QPalette light(QColor(0xf0, 0xf0, 0xf0));
        QPalette p;
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            if (role == QPalette::NoRole)
                continue;
            for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
                const auto r = static_cast<QPalette::ColorRole>(role);
                p.setBrush(group, r, light.brush(group, r));
            }
        }
        return p;
    }();
    return palette;
}

// The report's colours on an area and every control in it, for one rendering. A control
// given colours of its own (the notice's black on white) keeps them; the others are given the
// report's each, since controls under the program's style sheet do not inherit a palette.
class ReportColours {
public:
    explicit ReportColours(QWidget* area) {
        QList<QWidget*> widgets = area->findChildren<QWidget*>();
        widgets.prepend(area);
        for (QWidget* w : widgets) {
            if (w->testAttribute(Qt::WA_SetPalette))
                continue;
            m_themed.push_back(w);
            w->setPalette(reportPalette());
        }
    }
    ~ReportColours() {
        // Back to the theme's colours, inherited again.
        for (QWidget* w : m_themed)
            w->setPalette(QPalette());
    }
    ReportColours(const ReportColours&) = delete;
    ReportColours& operator=(const ReportColours&) = delete;

private:
    std::vector<QWidget*> m_themed;
};

} // namespace

QImage TForm1::grabPreviewArea() const {
    // The preview area itself, whatever window is active and even while this one is hidden.
    // Rendered straight into a picture of the report's size, at one pixel per point whatever
    // the screen's scale, and in light colours whatever the desktop's theme: a report is a
    // page with a white background, and the same drawing gives the same picture everywhere.
    const ReportColours colours(GroupBox2);
    QImage image(kPreviewWidth, kPreviewHeight, QImage::Format_RGB32);
    GroupBox2->render(&image, QPoint(), QRegion(8, 24, kPreviewWidth, kPreviewHeight),
                      QWidget::DrawWindowBackground | QWidget::DrawChildren);
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
