#include "report/report_batch.h"

#include "files/paths.h"
#include "files/report_names.h"

namespace kvx {

ReportBatch::ReportBatch(const std::string& folder, const std::vector<std::string>& drawings) {
    std::vector<std::string> reportFiles;
    reportFiles.reserve(2 * drawings.size());
    for (const std::string& name : drawings) {
        const std::string drawing = joinPath(folder, name);
        reportFiles.push_back(reportPictureOf(drawing));
        reportFiles.push_back(reportPageOf(drawing));
    }
    // Another copy of the program may be in the middle of a batch here: only what has lain
    // untouched for an hour is taken as left by a killed one.
    removeLeftoverTemporaries(reportFiles, Links::Replace, Leftovers::Stale);
    // Open before any report is written into it, so that the group's flush hears of them all;
    // a folder that cannot be opened fails each report's own write instead.
    std::string ignored;
    m_files.watchFolder(folder, ignored);
}

} // namespace kvx
