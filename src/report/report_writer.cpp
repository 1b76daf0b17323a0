// The Report button: a JPEG of the preview area and an HTML page beside the drawing.

#include "app/main_window.h"

#include "actions/flash_form.h"
#include "app/application.h"
#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "files/atomic_file.h"
#include "files/open_drawing.h"
#include "report/jpeg_writer.h"
#include "report/report_page.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidgetItem>
#include <QLocale>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kPreviewWidth = 252;
constexpr int kPreviewHeight = 126;

// The I/O texts the program has always shown for files it reads or writes.
QString ioText(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("Accès au fichier refusé");
    case ENOENT:
        return QStringLiteral("Fichier introuvable");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Disque plein");
    default:
        return QStringLiteral("Erreur E/S %1").arg(err);
    }
}

struct DrawingFacts {
    std::int64_t size = 0;
    QDateTime modified;
};

DrawingFacts measureDrawing(const QString& path) {
    const kvx::DrawingFile file(QFile::encodeName(path).toStdString());
    if (!file.isOpen())
        throw std::runtime_error(ioText(file.errorNumber()).toStdString());
    return {static_cast<std::int64_t>(file.size()),
            QDateTime::fromSecsSinceEpoch(file.status().st_mtime)};
}

// Each source pixel becomes a 2 x 2 block: no smoothing.
QImage doubled(const QImage& src) {
    QImage out(src.width() * 2, src.height() * 2, QImage::Format_RGB888);
    for (int y = 0; y < out.height(); ++y) {
        const uchar* from = src.constScanLine(y / 2);
        uchar* to = out.scanLine(y);
        for (int x = 0; x < out.width(); ++x)
            std::memcpy(to + 3 * x, from + 3 * (x / 2), 3);
    }
    return out;
}

void replaceFile(const QString& path, const std::string& bytes, const QString& failurePrefix) {
    std::string error;
    int err = 0;
    if (!kvx::replaceFileAtomically(QFile::encodeName(path).toStdString(), bytes, 0644, error,
                                    &err))
        throw std::runtime_error((failurePrefix.isEmpty()
                                      ? ioText(err)
                                      : failurePrefix + QString::fromLocal8Bit(std::strerror(err)))
                                     .toStdString());
}

} // namespace

QImage TForm1::grabPreviewArea() const {
    // The preview area itself, whatever window is active and even while this one is hidden.
    QImage image = GroupBox2->grab(QRect(8, 24, kPreviewWidth, kPreviewHeight)).toImage();
    if (image.size() != QSize(kPreviewWidth, kPreviewHeight))
        image = image.scaled(kPreviewWidth, kPreviewHeight, Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_RGB888);
}

void TForm1::WriteDrawingReport() {
    if (FileListBox1->itemIndex() < 0)
        return;
    const QString drawing = FileListBox1->selectedPath();
    const QString name = FileListBox1->currentItem()->text();
    const QString imageFile = drawing + QStringLiteral(".jpg");
    const QString pageFile = drawing + QStringLiteral(".htm");
    const DrawingFacts facts = measureDrawing(drawing);

    QImage picture = grabPreviewArea();
    if (CheckBox8->isChecked())
        picture = doubled(picture);
    const std::string jpeg = kvx::encodeJpeg(picture.constBits(), picture.width(), picture.height(),
                                             static_cast<std::size_t>(picture.bytesPerLine()));
    replaceFile(imageFile, jpeg,
                QStringLiteral("Impossible de créer le fichier \"%1\". ").arg(imageFile));

    kvx::ReportFields fields;
    fields.shortName = kvx::shortName(name);
    fields.imageFileName = name + QStringLiteral(".jpg");
    fields.location = drawing;
    fields.version = QString::fromStdString(kvx::CurrentVersionLabel);
    fields.modified = kvx::reportTime(facts.modified, QLocale::system());
    fields.size = kvx::reportSize(facts.size);
    replaceFile(pageFile, kvx::reportPage(fields), QString());
}

void TForm1::SpeedButton6Click() {
    const int index = FileListBox1->itemIndex();
    WriteDrawingReport();
    Form3->exec();
    FileListBox1->rereadFolder();
    FileListBox1->setItemIndex(index);
    FileListBox1Click();
}
