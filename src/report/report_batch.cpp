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
    removeLeftoverTemporaries(reportFiles, Links::Replace);
}

} // namespace kvx
