// The Report button: a JPEG of the preview area and an HTML page beside the drawing.

#include "app/main_window.h"

#include "actions/flash_form.h"
#include "app/application.h"
#include "app/settings/atomic_file.h"
#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "drawing/file_name_text.h"
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

DrawingFacts measureDrawing(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        throw std::runtime_error(ioText(errno).toStdString());
    struct stat st {};
    const int statResult = ::fstat(fd, &st);
    const int statError = errno;
    ::close(fd);
    if (statResult != 0)
        throw std::runtime_error(ioText(statError).toStdString());
    return {static_cast<std::int64_t>(st.st_size), QDateTime::fromSecsSinceEpoch(st.st_mtime)};
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

void replaceFile(const std::string& path, const std::string& bytes, const QString& failurePrefix) {
    std::string error;
    int err = 0;
    if (!kvx::replaceFileAtomically(path, bytes, 0644, error, &err))
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
    // Files are reached through the names' bytes; the texts are what the page and messages show.
    const std::string drawing = FileListBox1->selectedNativePath();
    const std::string name = FileListBox1->nativeName(FileListBox1->itemIndex());
    const std::string imageFile = drawing + ".jpg";
    const std::string pageFile = drawing + ".htm";
    const DrawingFacts facts = measureDrawing(drawing);

    QImage picture = grabPreviewArea();
    if (CheckBox8->isChecked())
        picture = doubled(picture);
    const std::string jpeg = kvx::encodeJpeg(picture.constBits(), picture.width(), picture.height(),
                                             static_cast<std::size_t>(picture.bytesPerLine()));
    replaceFile(
        imageFile, jpeg,
        QStringLiteral("Impossible de créer le fichier \"%1\". ").arg(kvx::displayName(imageFile)));

    kvx::ReportFields fields;
    fields.shortName = kvx::shortName(kvx::displayName(name));
    fields.imageFileName = name + ".jpg";
    fields.location = kvx::displayName(drawing);
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
