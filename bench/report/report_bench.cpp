// Writing a drawing's report again and again: grab of the preview area, JPEG encoding and
// the page, each file replaced atomically beside the drawing.

#include "app/settings_fixture.h"
#include "support/dwg_builder.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "drawing/shell_tree_view.h"
#include "report/jpeg_writer.h"
#include "report/report_page.h"

#include <benchmark/benchmark.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>

namespace {

void setUp() {
    static SettingsFixture settings;
    const QString dir = settings.desktop() + "/plans";
    QDir().mkpath(dir);
    kvxtest::writeFile(QFile::encodeName(dir + "/site.dwg").toStdString(),
                       kvxtest::DwgBuilder("AC1018")
                           .headerData()
                           .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(216, 140, 200), {8}))
                           .build());
    kvx::MessageSeam::setAutoAnswer(true);
    kvx::createForms({});
    Form1->ShellTreeView1->selectPath(dir);
}

void BM_Report(benchmark::State& state) {
    Form1->CheckBox8->setChecked(state.range(0) != 0);
    for (auto _ : state)
        Form1->WriteDrawingReport();
    state.SetLabel(state.range(0) ? "504 x 252" : "252 x 126");
}
BENCHMARK(BM_Report)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1000);

// The report's picture as a report draws it, and its JPEG: no file written.
void BM_DrawAndEncodeOnly(benchmark::State& state) {
    for (auto _ : state) {
        const QImage picture = Form1->reportPicture();
        benchmark::DoNotOptimize(kvx::encodeJpeg(picture.constBits(), picture.width(),
                                                 picture.height(),
                                                 static_cast<std::size_t>(picture.bytesPerLine())));
    }
}
BENCHMARK(BM_DrawAndEncodeOnly)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    setUp();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    kvx::destroyForms();
    return 0;
}
