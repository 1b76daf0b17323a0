#pragma once
// A batch of reports over one folder, its rules without the window: the batch marks itself and
// deals with leftovers before anything is staged; every drawing's report is made on every core
// and taken in list order into the batch's groups, which go in place on the batch's own thread
// with at most one group waiting; a report that cannot be made, or a group that cannot be put
// in place, stops the batch with the reports before it kept; a stop (the window closing) lets
// the drawings in flight be written and begins no other. The window calls next() and end()
// between its turns, so that nothing here ever holds it up, a share that went down included.
// GUI-free.

#include "files/name_list.h"
#include "report/drawing_report.h"
#include "report/report_batch.h"
#include "report/report_pipeline.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace kvx {

class ReportRun {
public:
    // `drawings`: the bare names in `folder`, in list order.
    ReportRun(std::string folder, NameList drawings, ReportOptions options);
    ReportRun(const ReportRun&) = delete;
    ReportRun& operator=(const ReportRun&) = delete;
    // Waits for what end() waits for: call end() until it is true first.
    ~ReportRun();

    enum class Step {
        Waiting,  // nothing came within the wait
        Taken,    // a drawing's report joined its group: lastIndex(), takeSeen()
        Failed,   // the batch stopped: drawingFailure() or groupFailure() says why
        Finished, // every drawing begun has been taken
    };
    // One step of the batch, waiting at most `wait`.
    Step next(std::chrono::milliseconds wait);

    // The drawing taken last: its place in the list, and what its report read of it.
    std::size_t lastIndex() const { return m_lastIndex; }
    DrawingSeen takeSeen() { return std::move(m_lastSeen); }

    struct DrawingFailure {
        std::size_t index; // the drawing's place in the list
        std::string text;  // why its report cannot be written
    };
    const std::optional<DrawingFailure>& drawingFailure() const { return m_drawingFailure; }
    // A group that could not be put in place, as the error the user is told.
    std::optional<ReportCommitError> groupFailure() const;

    // No drawing is begun from now on; those in flight are still written.
    void stop();
    // Puts every report taken in place and lets the workers and the batch's thread end; true
    // once all have. Waits at most `wait`.
    bool end(std::chrono::milliseconds wait);

private:
    bool stopOnGroupFailure();

    const std::string m_folder;
    NameList m_drawings;     // handed to the pipeline once the batch is ready
    ReportOptions m_options; // flushEachFile is the batch's to say
    ReportBatch m_batch;
    std::unique_ptr<ReportPipeline> m_pipeline;
    bool m_stopped = false;
    bool m_ending = false;
    std::size_t m_lastIndex = 0;
    DrawingSeen m_lastSeen;
    std::optional<DrawingFailure> m_drawingFailure;
};

} // namespace kvx
