#include "report/report_batch.h"

namespace kvx {

ReportBatch::ReportBatch(const std::string& folder)
    : m_group(std::make_unique<StagedReplacements>()) {
    // Everything that touches the folder is the batch thread's first job: on a share each step
    // is a round trip (more while the server is slow), and with 100,000 drawings the pass over
    // the folder takes a tenth of a second, that the window need not wait for.
    m_committer = std::thread([this, folder] {
        // Opened before any report is written into it, so that the group's flush hears of
        // them all; a folder that cannot be opened fails each report's own write instead.
        std::string error;
        m_group->watchFolder(folder, error);
        const bool share = !folderFlushedBySyncfs(folder);
        // Without a marker nothing is removed: another copy could not tell we are here.
        if (m_work.begin(folder, error))
            removeLeftoversWhenAlone(folder, {m_work.name()});
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_share = share;
            m_filesPerGroup = share ? kFilesPerShareGroup : kFilesPerGroup;
            m_ready = true;
        }
        m_settled.notify_all();
        commitGroups();
        m_work.end();
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_ended = true;
        }
        m_settled.notify_all();
    });
}

ReportBatch::~ReportBatch() {
    while (!ready(std::chrono::seconds(1))) {
    }
    endLater();
    m_committer.join();
}

bool ReportBatch::ready(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_settled.wait_for(lock, wait, [this] { return m_ready; });
}

bool ReportBatch::onShare() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_share;
}

bool ReportBatch::room(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_settled.wait_for(lock, wait, [this] { return m_queue.empty(); });
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

void ReportBatch::endLater() {
    commitLater();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_handed.notify_one();
}

bool ReportBatch::ended(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_settled.wait_for(lock, wait, [this] { return m_ended; });
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
        m_settled.notify_all(); // room for the next group
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
        m_settled.notify_all();
    }
}

} // namespace kvx
