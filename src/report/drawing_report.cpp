#include "report/drawing_report.h"

#include "files/atomic_file.h"
#include "files/file_name_text.h"
#include "files/folder_work.h"
#include "files/open_drawing.h"
#include "files/paths.h"
#include "files/report_names.h"
#include "report/jpeg_writer.h"
#include "report/report_batch.h"
#include "report/report_page.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace kvx {

namespace {

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

// The picture's failure names the file; the page's has the I/O text, and where that is only a
// number ("Erreur E/S 95") the writer's own words below it: what failed, on which file, why.
std::string writeFailureText(const std::string& native, int err, bool namesTheFile,
                             const std::string& writerError) {
    if (namesTheFile)
        return cannotCreateText(displayName(native), err).toStdString();
    QString text = ioText(err);
    if (text.startsWith(QLatin1String("Erreur E/S")) && !writerError.empty())
        text += QLatin1Char('\n') + displayName(writerError);
    return text.toStdString();
}

void replaceFile(const std::string& native, const std::string& bytes, bool namesTheFile) {
    std::string error;
    int err = 0;
    if (!replaceFileAtomically(native, bytes, 0644, error, &err, FolderSync::ByCaller,
                               Links::Replace))
        throw std::runtime_error(writeFailureText(native, err, namesTheFile, error));
}

// A report's file written under its temporary name for a batch; its failure worded as
// replaceFile words it.
StagedFile stageFile(const std::string& native, const std::string& bytes, bool namesTheFile,
                     bool flush) {
    StagedFile staged;
    std::string error;
    int err = 0;
    if (!writeStagedFile(native, {bytes}, 0644, flush, staged, error, &err, Links::Replace))
        throw std::runtime_error(writeFailureText(native, err, namesTheFile, error));
    return staged;
}

// Each pixel becomes a 2 x 2 block: no smoothing.
QImage doubledPixels(const QImage& picture) {
    const QImage src = picture.convertToFormat(QImage::Format_RGB888);
    QImage out(src.width() * 2, src.height() * 2, QImage::Format_RGB888);
    for (int y = 0; y < out.height(); ++y) {
        const uchar* from = src.constScanLine(y / 2);
        uchar* to = out.scanLine(y);
        for (int x = 0; x < out.width(); ++x)
            std::memcpy(to + 3 * x, from + 3 * (x / 2), 3);
    }
    return out;
}

} // namespace

QString cannotCreateText(const QString& path, int errorNumber) {
    return QStringLiteral("Impossible de créer le fichier \"%1\". %2")
        .arg(path, QString::fromLocal8Bit(std::strerror(errorNumber)));
}

std::string cannotOpenText(const std::string& drawingPath, int errorNumber) {
    return QStringLiteral("Impossible d'ouvrir le fichier \"%1\". %2")
        .arg(displayName(drawingPath), ioText(errorNumber))
        .toStdString();
}

ReportFiles makeReportFiles(const DrawingFile& drawing, const std::string& drawingPath,
                            const std::string& name, const QString& version, const QImage& preview,
                            bool bigImage) {
    const QImage picture =
        bigImage ? doubledPixels(preview) : preview.convertToFormat(QImage::Format_RGB888);
    ReportFiles files;
    files.picture = encodeJpeg(picture.constBits(), picture.width(), picture.height(),
                               static_cast<std::size_t>(picture.bytesPerLine()));
    // Files are reached through the names' bytes; the texts are what the page shows.
    ReportFields fields;
    fields.shortName = shortName(displayName(name));
    fields.imageFileName = reportPictureOf(name);
    fields.location = displayName(drawingPath);
    fields.version = version;
    fields.modified =
        reportTime(QDateTime::fromSecsSinceEpoch(drawing.status().st_mtime), QLocale::system());
    fields.size = reportSize(static_cast<std::int64_t>(drawing.size()));
    files.page = reportPage(fields);
    return files;
}

StagedReport stageReport(const std::string& drawingPath, const ReportFiles& files, bool flush) {
    StagedReport staged;
    staged.page = stageFile(reportPageOf(drawingPath), files.page, false, flush);
    try {
        staged.picture = stageFile(reportPictureOf(drawingPath), files.picture, true, flush);
    } catch (...) {
        ::unlink(staged.page.temporary.c_str());
        throw;
    }
    return staged;
}

void adoptReport(ReportBatch& batch, StagedReport staged) {
    // The picture goes in before its page, as a report written alone does: the commit renames
    // in that order, so a page in place always has its new picture.
    std::string error;
    int err = 0;
    const std::string page = staged.page.temporary;
    if (!batch.files().adopt(std::move(staged.picture), error, &err)) {
        ::unlink(page.c_str());
        throw std::runtime_error(error);
    }
    if (!batch.files().adopt(std::move(staged.page), error, &err)) {
        batch.files().discardFrom(batch.files().size() - 1);
        throw std::runtime_error(error);
    }
}

void writeDrawingReport(const DrawingReport& report) {
    const DrawingFile drawing(report.drawingPath);
    if (!drawing.isOpen())
        throw std::runtime_error(cannotOpenText(report.drawingPath, drawing.errorNumber()));
    const ReportFiles files = makeReportFiles(drawing, report.drawingPath, report.name,
                                              report.version, report.preview, report.bigImage);
    const std::string imageFile = reportPictureOf(report.drawingPath);
    const std::string pageFile = reportPageOf(report.drawingPath);
    // Marked at work while it writes, so that another copy's clean-up leaves its temporaries
    // alone; what a killed write of these two files left goes when no other copy is at work.
    const std::string folder = folderOf(report.drawingPath);
    FolderWork work;
    std::string ignored;
    if (work.begin(folder, ignored)) {
        const std::vector<std::uint32_t> keys{TemporaryKey(baseNameOf(imageFile)).value(),
                                              TemporaryKey(baseNameOf(pageFile)).value()};
        removeLeftoversWhenAlone(folder, {work.name()}, &keys);
    }
    replaceFile(imageFile, files.picture, true);
    replaceFile(pageFile, files.page, false);
    syncFolder(folder);
}

ReportCommitError::ReportCommitError(const std::string& failedFile, int errorNumber,
                                     std::size_t reportsNotWritten)
    : std::runtime_error(cannotCreateText(displayName(failedFile), errorNumber).toStdString()),
      m_reportsNotWritten(reportsNotWritten) {}

void checkReports(const ReportBatch& batch) {
    if (const auto failure = batch.failure())
        // Two files a report: a report is lost with either of them.
        throw ReportCommitError(failure->failedPath, failure->errorNumber,
                                (failure->filesNotPlaced + 1) / 2);
}

void commitReports(ReportBatch& batch) {
    batch.commitLater();
    while (!batch.settled(std::chrono::seconds(1))) {
    }
    checkReports(batch);
}

} // namespace kvx
