#pragma once
// The file work around a batch of reports in one folder. Before the first report, what killed
// writes left beside the reports goes, in one pass over the folder rather than one per report
// (a folder of thousands is otherwise read thousands of times). Then the reports' files are
// staged and put in place a group at a time, with one flush of the disk per group rather than
// one per file, and the folder's entries flushed with each group: a crash may bring back
// earlier reports, never half a file. GUI-free.

#include "files/atomic_file.h"
#include "files/name_list.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kvx {

class ReportBatch {
public:
    // `folder` and the drawings' bare names, as the file system gives them.
    // Dropped, it puts in place what is staged (a batch stopped midway keeps the reports it
    // wrote), as its StagedReplacements does.
    ReportBatch(const std::string& folder, const NameList& drawings);

    // Where the reports' files wait for their group's commit.
    StagedReplacements& files() { return m_files; }
    // Whether the group is large enough to be put in place now.
    bool groupFull() const { return m_files.size() >= kFilesPerGroup; }

    // Files per flush of the disk: the flush costs about as much as a few files' fsync, and a
    // crash loses at most a group's reports.
    static constexpr std::size_t kFilesPerGroup = 500;

private:
    StagedReplacements m_files;
};

} // namespace kvx
