#pragma once
// The file work around a batch of reports in one folder. Before the first report, what killed
// writes left beside the reports goes, in one pass over the folder rather than one per report
// (a folder of thousands is otherwise read thousands of times). After the last, however the
// batch ends, the reports' names reach the disk in one flush for the folder: a crash before
// it may bring back earlier reports, never half a file. GUI-free.

#include <string>
#include <vector>

namespace kvx {

class ReportBatch {
public:
    // `folder` and the drawings' bare names, as the file system gives them.
    ReportBatch(std::string folder, const std::vector<std::string>& drawings);
    ~ReportBatch();
    ReportBatch(const ReportBatch&) = delete;
    ReportBatch& operator=(const ReportBatch&) = delete;

private:
    std::string m_folder;
};

} // namespace kvx
