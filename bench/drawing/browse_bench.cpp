// Listing a folder of 10,000 drawings on the View tab and showing the first one, as the
// window does when the folder is chosen in the tree.

#include "app/settings_fixture.h"
#include "support/dwg_builder.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <sys/resource.h>

namespace {

struct Setup {
    SettingsFixture settings;
    QString other; // a second folder to switch away to between rounds
    QString drawings;

    Setup() {
        drawings = settings.desktop() + "/plans";
        other = settings.desktop() + "/empty";
        QDir().mkpath(drawings);
        QDir().mkpath(other);
        const kvxtest::Bytes dwg =
            kvxtest::DwgBuilder("AC1018")
                .headerData()
                .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(216, 140, 200), {8}))
                .bodyAfter(64 * 1024)
                .build();
        for (int i = 0; i < 10000; ++i)
            kvxtest::writeFile(
                QFile::encodeName(drawings + QStringLiteral("/plan-%1.dwg").arg(i, 5, 10, QLatin1Char('0')))
                    .toStdString(),
                dwg);
        kvx::MessageSeam::setAutoAnswer(true);
        kvx::createForms({});
    }
};

Setup* g_setup = nullptr;

void BM_ListTenThousandAndShowFirst(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        Form1->ShellTreeView1->selectPath(g_setup->other);
        state.ResumeTiming();
        Form1->ShellTreeView1->selectPath(g_setup->drawings);
    }
    if (Form1->FileListBox1->count() != 10000)
        state.SkipWithError("the folder was not listed");
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_ListTenThousandAndShowFirst)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    Setup setup;
    g_setup = &setup;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    kvx::destroyForms();
    return 0;
}
