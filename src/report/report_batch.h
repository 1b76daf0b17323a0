#pragma once
// The file work around a batch of reports in one folder. The batch marks itself at work in the
// folder and, when no other copy of the program is at work there, removes what killed writes
// left, in one pass over the folder (a folder of thousands is otherwise read thousands of
// times); only then are reports staged. They are put in place a group at a time, with one flush
// of the disk per group rather than one per file, and the folder's entries flushed with each
// group: a crash may bring back earlier reports, never half a file. The groups are put in place
// on a thread of the batch's own, one after the other, so that neither the flush nor the
// renames hold up the window or the reports still being made; at most one group waits while
// another is put in place, so that little is staged ahead of the disk however slow the share.
// GUI-free.

#include "files/folder_work.h"
#include "files/staged_replacements.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kvx {

// Why a group could not be put in place.
struct GroupFailure {
    std::string failedPath; // the file named to the user
    int errorNumber = 0;
    // The files left out: the one that failed, those after it in its group, and every file
    // staged after that group.
    std::size_t filesNotPlaced = 0;
};

class ReportBatch {
public:
    // `folder`: where the reports go, as the file system gives it.
    explicit ReportBatch(const std::string& folder);
    ReportBatch(const ReportBatch&) = delete;
    ReportBatch& operator=(const ReportBatch&) = delete;
    // Puts in place what is staged and waits for it (a batch stopped midway keeps the reports
    // it wrote); a failure then goes unheard: call settled() and failure() first to hear it.
    // endLater() and ended() let the window wait without standing still.
    ~ReportBatch();

    // Whether the batch is marked in the folder and the leftovers are dealt with: nothing may
    // be staged, nor the group touched, before. Waits at most `wait`.
    bool ready(std::chrono::milliseconds wait);
    // Whether the folder is on a share, where each file is flushed on its own; once ready.
    bool onShare() const;

    // Where the reports' files wait for their group's commit.
    StagedReplacements& files() { return *m_group; }
    // Whether the group is large enough to be put in place now.
    bool groupFull() const { return m_group->size() >= m_filesPerGroup; }
    // Whether no group handed over waits for its turn (one may be being put in place): until
    // then no more is staged. Waits at most `wait`.
    bool room(std::chrono::milliseconds wait);

    // Hands the group to the batch's thread, which puts the groups in place in the order they
    // were handed; a new group begins. After a group failed, the groups handed later are
    // dropped, temporaries and all: no report after the failure is put in place.
    void commitLater();
    // Whether every group handed over has been put in place or dropped; waits at most `wait`.
    bool settled(std::chrono::milliseconds wait);
    // The first group that failed, once it has.
    std::optional<GroupFailure> failure() const;

    // Hands over what is staged and lets the batch's thread end, removing the batch's marker.
    void endLater();
    // Whether the batch's thread has ended; waits at most `wait`.
    bool ended(std::chrono::milliseconds wait);

    // Files per flush of the disk: the flush costs about as much as a few files' fsync, and a
    // crash loses at most a group's reports.
    static constexpr std::size_t kFilesPerGroup = 500;
    // On a share, where each file is flushed on its own and a group's cost is its renames, a
    // group is small: a kill leaves few files staged.
    static constexpr std::size_t kFilesPerShareGroup = 32;

private:
    void commitGroups();

    std::unique_ptr<StagedReplacements> m_group;
    std::size_t m_filesPerGroup = kFilesPerGroup;
    FolderWork m_work; // on the batch's thread only

    mutable std::mutex m_mutex;
    std::condition_variable m_handed;  // a group was handed over, or the batch ends
    std::condition_variable m_settled; // the last group handed over is in place or dropped
    std::deque<std::unique_ptr<StagedReplacements>> m_queue;
    bool m_ready = false;
    bool m_share = false;
    bool m_committing = false;
    bool m_ending = false;
    bool m_ended = false;
    std::optional<GroupFailure> m_failure;
    std::thread m_committer;
};

} // namespace kvx
