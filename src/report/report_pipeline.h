#pragma once
// The reports of a batch, made on every core: workers open each drawing, read its release and
// picture, draw the preview area, encode the JPEG, format the page and write both files under
// their temporary names; the owner takes them in list order into its group of replacements. Only a
// bounded number of drawings is in flight, so memory does not grow with the folder. GUI-free.

#include "files/name_list.h"
#include "preview/dwg_preview.h"
#include "preview/preview_area.h"
#include "report/drawing_report.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvx {

// How every report of the batch is made: as the View tab's options stand at its start.
struct ReportOptions {
    bool bigImage = false;      // each pixel becomes a 2 x 2 block
    bool zoom = false;          // a small picture is enlarged to the area
    bool flushEachFile = false; // the folder is on a share (folderFlushedBySyncfs)
    PreviewAreaLook look = reportPictureLook();
};

// What the View tab shows of a drawing, as read for its report: the batch shows its progress
// from it rather than reading the drawing again on the window's thread.
struct DrawingSeen {
    std::string release;   // the header's release string
    PreviewResult preview; // the picture read, reduced to the area; only when offered
};

struct ReportResult {
    std::size_t index = 0; // the drawing's place in the list
    StagedReport staged;   // its files, written under their temporary names
    std::string error;     // why the report cannot be written; empty when it can
    DrawingSeen seen;
};

// One drawing's report files, as its report written alone from the View tab has them; `seen`,
// when given, receives what the View tab would show. Throws std::runtime_error with the text
// the user sees.
ReportFiles makeReport(const std::string& drawingPath, const std::string& name,
                       const ReportOptions& options, DrawingSeen* seen = nullptr);

class ReportPipeline {
public:
    // `drawings`: the bare names in `folder`, in list order.
    ReportPipeline(std::string folder, NameList drawings, ReportOptions options, unsigned workers);
    ReportPipeline(const ReportPipeline&) = delete;
    ReportPipeline& operator=(const ReportPipeline&) = delete;
    // Stops, and waits for the drawings in flight; their results are dropped, files and all.
    ~ReportPipeline();

    // Takes the next drawing's result in list order, waiting at most `wait`. False when it is
    // not ready yet, or when finished().
    bool next(ReportResult& result, std::chrono::milliseconds wait);
    // No drawing is begun from now on; those in flight still come out of next().
    void stop();
    // Every drawing begun has been taken, and none will be begun.
    bool finished() const;

    // A worker a core, at least two, so that reading a file never idles the other core; on a
    // share, where each file waits for its round trips, at least eight.
    static unsigned defaultWorkers(bool share = false);

private:
    void work();

    const std::string m_folder;
    const NameList m_drawings;
    const ReportOptions m_options;
    const std::size_t m_window; // drawings begun but not yet taken, at most

    mutable std::mutex m_mutex;
    std::condition_variable m_ready; // a result came
    std::condition_variable m_room;  // a result was taken, or the pipeline stopped
    std::size_t m_begun = 0;
    std::size_t m_taken = 0;
    bool m_stopping = false;
    std::map<std::size_t, ReportResult> m_done;
    std::vector<std::thread> m_workers;
};

} // namespace kvx
