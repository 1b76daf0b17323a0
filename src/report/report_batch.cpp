#include "report/report_batch.h"

namespace kvx {

ReportBatch::ReportBatch(const std::string& folder, const NameList& drawings)
    : m_group(std::make_unique<StagedReplacements>()) {
    // Keys rather than the reports' paths: a folder of 100,000 drawings costs no more than the
    // list of their names.
    std::vector<std::uint32_t> keys;
    keys.reserve(2 * drawings.size());
    for (const std::string_view name : drawings) {
        const TemporaryKey drawing(name);
        keys.push_back(TemporaryKey(drawing).add(".jpg").value());
        keys.push_back(TemporaryKey(drawing).add(".htm").value());
    }
    // Open before any report is written into it, so that the group's flush hears of them all;
    // a folder that cannot be opened fails each report's own write instead.
    std::string ignored;
    m_group->watchFolder(folder, ignored);
    // The pass over the folder is the batch thread's first job: with 100,000 drawings it takes
    // a tenth of a second that the window need not wait for. It cannot meet this batch's own
    // temporaries, which are fresh.
    m_committer = std::thread([this, folder, keys = std::move(keys)]() mutable {
        // Another copy of the program may be in the middle of a batch here: only what has lain
        // untouched for an hour is taken as left by a killed one.
        removeLeftoverTemporariesIn(folder, std::move(keys), Leftovers::Stale);
        commitGroups();
    });
}

ReportBatch::~ReportBatch() {
    commitLater();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_handed.notify_one();
    m_committer.join();
}

void ReportBatch::commitLater() {
    if (m_group->size() == 0)
        return;
    // The next group flushes through the same opened folder: a write-back error met between
    // two groups' flushes is reported by the later one, never lost between them.
    auto next = std::make_unique<StagedReplacements>();
    next->watchFoldersOf(*m_group);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(m_group));
    }
    m_group = std::move(next);
    m_handed.notify_one();
}

bool ReportBatch::settled(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_settled.wait_for(lock, wait, [this] { return m_queue.empty() && !m_committing; });
}

std::optional<GroupFailure> ReportBatch::failure() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_failure;
}

void ReportBatch::commitGroups() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_handed.wait(lock, [this] { return !m_queue.empty() || m_ending; });
        if (m_queue.empty())
            return;
        std::unique_ptr<StagedReplacements> group = std::move(m_queue.front());
        m_queue.pop_front();
        m_committing = true;
        const bool failedBefore = m_failure.has_value();
        lock.unlock();
        GroupFailure failure;
        bool placed = false;
        if (failedBefore) {
            failure.filesNotPlaced = group->size();
            group->discard();
        } else {
            std::string error;
            placed = group->commit(error, &failure.errorNumber, &failure.failedPath,
                                   &failure.filesNotPlaced);
        }
        group.reset();
        lock.lock();
        if (failedBefore)
            m_failure->filesNotPlaced += failure.filesNotPlaced;
        else if (!placed)
            m_failure = failure;
        m_committing = false;
        if (m_queue.empty())
            m_settled.notify_all();
    }
}

} // namespace kvx
