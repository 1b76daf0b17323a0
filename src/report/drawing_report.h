#pragma once
// Writing a drawing's report beside it: "<drawing>.jpg", the picture of the preview area, and
// "<drawing>.htm", the page that shows it with the drawing's facts. GUI-free: the window hands
// over the picture it grabbed.

#include <QImage>
#include <QString>
#include <string>

namespace kvx {

class ReportBatch;

struct DrawingReport {
    std::string drawingPath; // the drawing's full path, as bytes
    std::string name;        // its bare name, as bytes
    QString version;         // the release label of the drawing shown
    QImage preview;          // the preview area, 252 x 126
    bool bigImage = false;   // each pixel becomes a 2 x 2 block (504 x 252)
    // Written by a batch, which removes what interrupted writes left in the folder before its
    // first report and flushes the folder's entries after its last, once for the whole folder,
    // and takes the files into its group (commitReports puts them in place); a report on its
    // own does all that for its two files.
    ReportBatch* batch = nullptr;
};

// Measures the drawing, then replaces the picture and the page, each atomically, removing
// what an interrupted earlier write left. Throws std::runtime_error with the text the user
// sees ("Fichier introuvable", "Impossible de créer le fichier ...", ...).
// In a batch the files are staged, and the group is committed once full.
void writeDrawingReport(const DrawingReport& report);

// Puts the reports the batch staged in place. Throws std::runtime_error with the text a report
// that cannot be written shows.
void commitReports(ReportBatch& batch);

// "Impossible de créer le fichier "<path>". " and the system's text for `errorNumber`: what a
// report file or an index page that cannot be written says.
QString cannotCreateText(const QString& path, int errorNumber);

} // namespace kvx
