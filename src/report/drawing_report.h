#pragma once
// Writing a drawing's report beside it: "<drawing>.jpg", the picture of the preview area, and
// "<drawing>.htm", the page that shows it with the drawing's facts. GUI-free: the window hands
// over the picture it grabbed.

#include "files/staged_replacements.h"

#include <QImage>
#include <QString>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace kvx {

class DrawingFile;
class ReportBatch;

struct DrawingReport {
    std::string drawingPath; // the drawing's full path, as bytes
    std::string name;        // its bare name, as bytes
    QString version;         // the release label of the drawing shown
    QImage preview;          // the preview area, 252 x 126
    bool bigImage = false;   // each pixel becomes a 2 x 2 block (504 x 252)
};

// Measures the drawing, then replaces the picture and the page, each atomically, removing
// what an interrupted earlier write left. Throws std::runtime_error with the text the user
// sees ("Impossible d'ouvrir le fichier ...", "Impossible de créer le fichier ...", ...).
// A batch stages its reports instead (stageReport, adoptReport).
void writeDrawingReport(const DrawingReport& report);

// A group of reports that could not be put in place: what() names the file that failed, as a
// report file that cannot be written does.
class ReportCommitError : public std::runtime_error {
public:
    ReportCommitError(const std::string& failedFile, int errorNumber,
                      std::size_t reportsNotWritten);
    // The reports of the group left out: the one that failed and those after it.
    std::size_t reportsNotWritten() const { return m_reportsNotWritten; }

private:
    std::size_t m_reportsNotWritten;
};

// A report's two files, made and not yet written.
struct ReportFiles {
    std::string picture; // the JPEG
    std::string page;    // the HTML page
};

// Encodes the picture (doubled for a big image) and formats the page of an open drawing, for
// any thread. Throws std::runtime_error when the picture cannot be encoded.
ReportFiles makeReportFiles(const DrawingFile& drawing, const std::string& drawingPath,
                            const std::string& name, const QString& version, const QImage& preview,
                            bool bigImage);

// A report's two files written beside the drawing under their temporary names, for a batch.
struct StagedReport {
    StagedFile page, picture;
};

// Writes them on any thread, each flushed first when `flush` (a folder on a share). On failure
// neither is left; throws std::runtime_error with the text writeDrawingReport would show.
StagedReport stageReport(const std::string& drawingPath, const ReportFiles& files, bool flush);
// Takes them into the batch's group, the picture first. Throws std::runtime_error.
void adoptReport(ReportBatch& batch, StagedReport staged);

// "Impossible d'ouvrir le fichier "<drawing>". " and the I/O text: a drawing that cannot be
// opened for its report.
std::string cannotOpenText(const std::string& drawingPath, int errorNumber);

// Throws ReportCommitError when a group of the batch's reports could not be put in place.
void checkReports(const ReportBatch& batch);
// Puts the reports the batch staged in place and waits for them. Throws ReportCommitError.
void commitReports(ReportBatch& batch);

// "Impossible de créer le fichier "<path>". " and the system's text for `errorNumber`: what a
// report file or an index page that cannot be written says.
QString cannotCreateText(const QString& path, int errorNumber);

} // namespace kvx
