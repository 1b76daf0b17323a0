#include "report/report_batch.h"

#include "files/paths.h"
#include "files/report_names.h"

namespace kvx {

ReportBatch::ReportBatch(std::string folder, const std::vector<std::string>& drawings)
    : m_folder(std::move(folder)) {
    std::vector<std::string> reportFiles;
    reportFiles.reserve(2 * drawings.size());
    for (const std::string& name : drawings) {
        const std::string drawing = joinPath(m_folder, name);
        reportFiles.push_back(reportPictureOf(drawing));
        reportFiles.push_back(reportPageOf(drawing));
    }
    removeLeftoverTemporaries(reportFiles, Links::Replace);
}

ReportBatch::~ReportBatch() {
    std::string error;
    m_files.commit(error);
    syncFolder(m_folder);
}

} // namespace kvx
