#include "report/report_pipeline.h"

#include "drawing/drawing_version.h"
#include "files/open_drawing.h"
#include "files/paths.h"
#include "preview/dwg_preview.h"
#include "report/drawing_report.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <unistd.h>

namespace kvx {

namespace {

// The drawing opened once for its release, its picture and its facts.
class OpenDrawingSource : public ByteSource {
public:
    explicit OpenDrawingSource(DrawingFile& file) : m_file(file) {}
    std::uint64_t size() const override { return m_file.size(); }
    bool readAt(std::uint64_t offset, void* destination, std::size_t count) override {
        return m_file.readAt(offset, destination, count);
    }

private:
    DrawingFile& m_file;
};

} // namespace

ReportFiles makeReport(const std::string& drawingPath, const std::string& name,
                       const ReportOptions& options, DrawingSeen* seen) {
    DrawingFile drawing(drawingPath);
    if (!drawing.isOpen())
        throw std::runtime_error(cannotOpenText(drawingPath, drawing.errorNumber()));
    unsigned char header[6] = {};
    const std::string release = headerFromBytes(header, drawing.readSome(0, header, 6));
    // What the View tab shows of it: the picture read reduced to the area when larger.
    PreviewAreaContent content;
    if (offeredToPreview(release)) {
        OpenDrawingSource source(drawing);
        PreviewResult read =
            readPreview(source, true,
                        FitBox{static_cast<std::uint32_t>(kPreviewAreaWidth),
                               static_cast<std::uint32_t>(kPreviewAreaHeight), false});
        content = previewContentOf(read, options.zoom, QString::fromLatin1(kDamagedNotice));
        if (seen)
            seen->preview = std::move(read);
    } else {
        content.kind = PreviewAreaContent::Kind::Notice;
        content.notice = QString::fromLatin1(kOlderReleaseNotice);
    }
    if (seen)
        seen->release = release;
    return makeReportFiles(drawing, drawingPath, name,
                           QString::fromStdString(versionLabelFor(release)),
                           previewAreaPicture(content, options.look), options.bigImage);
}

unsigned ReportPipeline::defaultWorkers(bool share) {
    return std::max(share ? 8u : 2u, std::thread::hardware_concurrency());
}

ReportPipeline::ReportPipeline(std::string folder, NameList drawings, ReportOptions options,
                               unsigned workers)
    : m_folder(std::move(folder)), m_drawings(std::move(drawings)), m_options(std::move(options)),
      m_window(4 * static_cast<std::size_t>(std::max(1u, workers))) {
    for (unsigned i = 0; i < std::max(1u, workers); ++i)
        m_workers.emplace_back([this] { work(); });
}

ReportPipeline::~ReportPipeline() {
    stop();
    for (std::thread& worker : m_workers)
        worker.join();
    for (const auto& [index, result] : m_done)
        if (result.error.empty()) {
            ::unlink(result.staged.page.temporary.c_str());
            ::unlink(result.staged.picture.temporary.c_str());
        }
}

void ReportPipeline::work() {
    for (;;) {
        std::size_t index;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_room.wait(lock, [this] {
                return m_stopping || m_begun >= m_drawings.size() || m_begun < m_taken + m_window;
            });
            if (m_stopping || m_begun >= m_drawings.size())
                return;
            index = m_begun++;
        }
        ReportResult result;
        result.index = index;
        const std::string name(m_drawings[index]);
        const std::string drawing = joinPath(m_folder, name);
        try {
            result.staged = stageReport(drawing, makeReport(drawing, name, m_options, &result.seen),
                                        m_options.flushEachFile);
        } catch (const std::exception& e) {
            result.error = e.what();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done.emplace(index, std::move(result));
        m_ready.notify_all();
    }
}

bool ReportPipeline::next(ReportResult& result, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ready.wait_for(lock, wait, [this] { return m_done.count(m_taken) != 0; });
    const auto found = m_done.find(m_taken);
    if (found == m_done.end())
        return false;
    result = std::move(found->second);
    m_done.erase(found);
    ++m_taken;
    m_room.notify_all();
    return true;
}

void ReportPipeline::stop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
    m_room.notify_all();
}

bool ReportPipeline::finished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_taken >= m_begun && (m_stopping || m_begun >= m_drawings.size());
}

} // namespace kvx
