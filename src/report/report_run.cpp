#include "report/report_run.h"

#include <stdexcept>
#include <unistd.h>

namespace kvx {

ReportRun::ReportRun(std::string folder, NameList drawings, ReportOptions options)
    : m_folder(std::move(folder)), m_drawings(std::move(drawings)), m_options(std::move(options)),
      m_batch(m_folder) {}

ReportRun::~ReportRun() {
    if (m_pipeline)
        m_pipeline->stop();
    m_pipeline.reset();
}

std::optional<ReportCommitError> ReportRun::groupFailure() const {
    try {
        checkReports(m_batch);
    } catch (const ReportCommitError& e) {
        return e;
    }
    return std::nullopt;
}

bool ReportRun::stopOnGroupFailure() {
    if (!m_batch.failure())
        return false;
    stop();
    return true;
}

ReportRun::Step ReportRun::next(std::chrono::milliseconds wait) {
    if (!m_pipeline) {
        // Nothing is staged before the leftovers are dealt with: the clean-up would take it.
        if (!m_batch.ready(wait))
            return Step::Waiting;
        m_options.flushEachFile = m_batch.onShare();
        m_pipeline = std::make_unique<ReportPipeline>(
            m_folder, std::move(m_drawings), m_options,
            ReportPipeline::defaultWorkers(m_options.flushEachFile));
        if (m_stopped)
            m_pipeline->stop();
    }
    if (m_drawingFailure || stopOnGroupFailure())
        return Step::Failed;
    if (m_pipeline->finished())
        return Step::Finished;
    // Little is staged ahead of the disk: while a group waits for its turn, none is taken.
    if (m_batch.groupFull() && !m_batch.room(wait))
        return Step::Waiting;
    if (m_batch.groupFull())
        m_batch.commitLater();
    ReportResult report;
    if (!m_pipeline->next(report, wait))
        return Step::Waiting;
    try {
        if (!report.error.empty())
            throw std::runtime_error(report.error);
        adoptReport(m_batch, std::move(report.staged));
    } catch (const std::exception& e) {
        stop();
        m_drawingFailure = DrawingFailure{report.index, e.what()};
        return Step::Failed;
    }
    m_lastIndex = report.index;
    m_lastSeen = std::move(report.seen);
    return Step::Taken;
}

void ReportRun::stop() {
    m_stopped = true;
    if (m_pipeline)
        m_pipeline->stop();
}

bool ReportRun::end(std::chrono::milliseconds wait) {
    // The batch's thread works on the folder first; nothing is handed to it before.
    if (!m_batch.ready(wait))
        return false;
    // After a close the drawings in flight are put in place too, their files being written;
    // after a failure those after it in the list are dropped with the pipeline.
    if (m_pipeline && !m_pipeline->finished()) {
        stop();
        ReportResult report;
        while (m_pipeline->next(report, wait)) {
            if (!report.error.empty())
                continue;
            if (m_drawingFailure || m_batch.failure()) {
                ::unlink(report.staged.picture.temporary.c_str());
                ::unlink(report.staged.page.temporary.c_str());
                continue;
            }
            try {
                adoptReport(m_batch, std::move(report.staged));
            } catch (const std::exception&) {
                // its files are gone; the reports before it stay
            }
        }
        if (!m_pipeline->finished())
            return false;
    }
    if (!m_ending) {
        m_ending = true;
        m_batch.endLater();
    }
    return m_batch.ended(wait);
}

} // namespace kvx
