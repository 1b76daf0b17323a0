// The batch over 1,000 drawings, its two phases apart: a report for every drawing on the View
// tab, then the index build with our own hhc.exe. Beside them, the same 1,000 drawings
// selected and reported one by one, and 1,000 reports of one drawing. Then the Index tab's
// batch button end to end, over 1,000 and 10,000 drawings: from the click to the result
// dialog, with hhctest.chm written. When chmcmd is installed, it compiles the same folder
// alone, also in turn with the index build; without it those two are skipped with a message.

#include "app/settings_fixture.h"
#include "batch_milestones.h"
#include "support/dwg_builder.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "index/result_dialog.h"
#include "report/wait_window.h"

#include "chm/chmcmd_project.h"

#include <benchmark/benchmark.h>

#include <QAccessible>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int kDrawings = 1000;
QString g_folder;
QString g_desktop;

// `drawings` drawings named "plan NNNN.dwg" in `folder`, each with its stored picture.
void writeDrawings(const QString& folder, int drawings) {
    QDir().mkpath(folder);
    const kvxtest::Bytes dwg =
        kvxtest::DwgBuilder("AC1018")
            .headerData()
            .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(216, 140, 200), {8}))
            .build();
    for (int i = 0; i < drawings; ++i)
        kvxtest::writeFile(
            QFile::encodeName(folder +
                              QStringLiteral("/plan %1.dwg").arg(i, 4, 10, QLatin1Char('0')))
                .toStdString(),
            dwg);
}

// The folder the View tab shows, and the Index tab in front following it.
void showFolder(const QString& folder) {
    Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
    Form1->ShellTreeView1->selectPath(folder);
    Form1->PageControl1->setCurrentWidget(Form1->Html);
}

// Beside the benchmark rather than in the temporary folder, which may be a share measured
// (TMPDIR=/mnt/share): a share need not hold a link to a local program.
QString toolFolder() {
    return QCoreApplication::applicationDirPath() + "/kvx-build-bench-tools";
}

void setUp() {
    static SettingsFixture settings(
        QByteArray("\"autoname\"=dword:00000001\r\n\"bigimage\"=dword:00000000\r\n"
                   "\"effhtml\"=\"0\"\r\n\"effjpg\"=\"0\"\r\n\"path\"=\"") +
        QFile::encodeName(toolFolder()) + "\"\r\n");
    const QString tools = toolFolder();
    QDir().mkpath(tools);
    QFile::remove(tools + "/hhc.exe");
    QFile::link(QStringLiteral(KVX_HHC), tools + "/hhc.exe");
    g_desktop = settings.desktop();
    // KVX_BENCH_DESKTOP puts the drawings there (a share) while the settings stay under TMPDIR,
    // as an office keeps its drawings on a server and each desktop its own settings.
    if (const QByteArray desktop = qgetenv("KVX_BENCH_DESKTOP"); !desktop.isEmpty()) {
        g_desktop = QFile::decodeName(desktop);
        QDir().mkpath(g_desktop);
        qputenv("XDG_DESKTOP_DIR", desktop);
    }
    g_folder = g_desktop + "/plans";
    writeDrawings(g_folder, kDrawings);
    kvx::MessageSeam::setAutoAnswer(true);
    kvx::createForms({});
    showFolder(g_folder);
}

void BM_BatchReporting(benchmark::State& state) {
    for (auto _ : state)
        Form1->ReportEveryDrawing();
    state.counters["drawings"] = Form1->FileListBox1->count();
    // 1 when Qt's accessibility bridge took the batch's events (a screen reader's view).
    state.counters["accessible"] = QAccessible::isActive() ? 1 : 0;
}

// The batch's loop without the batch: each drawing selected, shown and reported, as by hand.
void BM_SelectAndReport(benchmark::State& state) {
    Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
    for (auto _ : state) {
        for (int i = 0; i < kDrawings; ++i) {
            Form1->FileListBox1->setItemIndex(i);
            Form1->FileListBox1Click();
            Form1->WriteDrawingReport();
        }
    }
    Form1->PageControl1->setCurrentWidget(Form1->Html);
}

void BM_SingleReports(benchmark::State& state) {
    Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
    Form1->FileListBox1->setItemIndex(0);
    Form1->FileListBox1Click();
    for (auto _ : state) {
        for (int i = 0; i < kDrawings; ++i)
            Form1->WriteDrawingReport();
    }
    Form1->PageControl1->setCurrentWidget(Form1->Html);
}

// CPU seconds of finished children (hhc.exe, or chmcmd), per iteration: steadier than
// wall time on a shared machine.
double childCpu() {
    rusage r{};
    ::getrusage(RUSAGE_CHILDREN, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}
struct ChildCpu {
    benchmark::State& state;
    double start = childCpu();
    ~ChildCpu() {
        state.counters["child_cpu_s"] =
            benchmark::Counter(childCpu() - start, benchmark::Counter::kAvgIterations);
    }
};

void BM_BatchCompile(benchmark::State& state) {
    ChildCpu cpu{state};
    for (auto _ : state) {
        if (!Form1->BuildIndex())
            state.SkipWithError("the build failed");
    }
}

// The project hhc.exe writes for the folder as it is now, compiled by chmcmd alone; returns
// the command, or an empty one when the project cannot be written.
std::string bareCompileCommand() {
    const std::string plans = QFile::encodeName(g_folder).toStdString();
    QDir().mkpath(g_folder + "/.bare.out");
    std::ofstream(plans + "/.bare.hhp")
        << kvxbench::chmcmdProject(".bare.out/hhctest.chm", kvxbench::chmcmdFiles(plans));
    return "cd '" + plans + "' && chmcmd --no-html-scan .bare.hhp >/dev/null 2>&1";
}

void removeBareCompile() {
    QFile::remove(g_folder + "/.bare.hhp");
    QDir(g_folder + "/.bare.out").removeRecursively();
}

void BM_BareChmcmd(benchmark::State& state) {
    if (!kvxbench::chmcmdInstalled()) {
        state.SkipWithError("chmcmd is not installed: no comparison");
        return;
    }
    // The folder the batch left, compiled by chmcmd alone.
    const std::string command = bareCompileCommand();
    ChildCpu cpu{state};
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("chmcmd failed");
    }
    removeBareCompile();
}

// The compile phase and bare chmcmd in turn, round by round, on the same files: a machine
// whose speed drifts during the minutes this takes weighs on both alike. `ratio` is the
// median of the rounds' ratios.
void BM_CompileAgainstBareChmcmd(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    if (!kvxbench::chmcmdInstalled()) {
        state.SkipWithError("chmcmd is not installed: no comparison");
        return;
    }
    if (!Form1->BuildIndex()) // the pages, and the file cache, as the rounds will find them
        state.SkipWithError("the build failed");
    const std::string command = bareCompileCommand();
    std::vector<double> ratios;
    double compile = 0, bare = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!Form1->BuildIndex())
            state.SkipWithError("the build failed");
        const auto built = Clock::now();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("chmcmd failed");
        const auto end = Clock::now();
        const std::chrono::duration<double> ours = built - start, theirs = end - built;
        compile += ours.count();
        bare += theirs.count();
        ratios.push_back(ours.count() / theirs.count());
    }
    removeBareCompile();
    if (ratios.empty())
        return;
    std::sort(ratios.begin(), ratios.end());
    const auto n = static_cast<double>(ratios.size());
    state.counters["compile_s"] = compile / n;
    state.counters["bare_s"] = bare / n;
    state.counters["ratio"] = ratios[ratios.size() / 2];
}

// What the batch's input and output cost the file system alone: reading every drawing (cat)
// and copying the files it wrote to a fresh folder beside them (cp).
double ioFloorSeconds(const QString& folder) {
    const QByteArray f = QFile::encodeName(folder);
    const QByteArray copy = f + ".floor";
    const std::string command =
        "rm -rf '" + copy.toStdString() + "' && mkdir '" + copy.toStdString() + "' && find '" +
        f.toStdString() + "' -maxdepth 1 -name '*.dwg' -exec cat {} + > /dev/null && find '" +
        f.toStdString() + "' -maxdepth 1 -type f ! -name '*.dwg' -exec cp -t '" +
        copy.toStdString() + "' {} +";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    QDir(QString::fromLocal8Bit(copy)).removeRecursively();
    return status == 0 ? took.count() : 0.0;
}

// The Index tab's "Create new files to build Index", clicked, over the folder of
// `state.range(0)` drawings: every report, then the pages and hhctest.chm, up to the result
// dialog, with the index in place. reports_s runs to the wait window of the index build, index_s
// from there to the dialog.
void BM_BatchButton(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const int drawings = static_cast<int>(state.range(0));
    const QString folder =
        drawings == kDrawings ? g_folder : g_desktop + QStringLiteral("/plans %1").arg(drawings);
    if (!QFile::exists(folder)) {
        writeDrawings(folder, drawings);
        // The trees read a folder's sub-folders once: read the desktop again.
        Form1->ShellTreeView1->populate();
        Form1->ShellTreeView2->populate();
    }
    showFolder(folder);
    // hhc.exe's hhctest.chm, under the name the Index tab gives it.
    const QString index = folder + '/' + Form1->IndexFileName();
    BatchMilestones milestones;
    double reports = 0, compile = 0, floor = 0;
    std::vector<double> ratios;
    // How long the window went without answering: a timer that should fire every 5 ms, and
    // the longest gap between its firings while the batch reported (up to the wait window) and
    // while the index was built (from there to the dialog).
    QTimer heartbeat;
    Clock::time_point lastBeat;
    double longestGap = 0, longestIndexGap = 0;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - lastBeat).count();
        if (milestones.waitShown == Clock::time_point{})
            longestGap = std::max(longestGap, gap);
        else if (milestones.resultShown == Clock::time_point{})
            longestIndexGap = std::max(longestIndexGap, gap);
        lastBeat = now;
    });
    for (auto _ : state) {
        QFile::remove(index);
        milestones.reset();
        const auto start = Clock::now();
        lastBeat = start;
        heartbeat.start(5);
        Form1->SpeedButton8->click();
        heartbeat.stop();
        if (milestones.resultShown == Clock::time_point{} || !QFile::exists(index)) {
            const auto shown = kvx::MessageSeam::shown();
            const std::string why =
                "the batch ended without an index" +
                (shown.isEmpty() ? std::string() : ": " + shown.last().text.toStdString());
            state.SkipWithError(why.c_str());
            break;
        }
        const std::chrono::duration<double> toWait = milestones.waitShown - start,
                                            toResult = milestones.resultShown - start;
        reports += toWait.count();
        compile += toResult.count() - toWait.count();
        // The floor under this round: every drawing read and every written file copied.
        state.PauseTiming();
        const double round = toResult.count(), under = ioFloorSeconds(folder);
        state.ResumeTiming();
        floor += under;
        ratios.push_back(round / under);
    }
    // A round that failed counts as an iteration but has no figures.
    const auto n = static_cast<double>(ratios.size());
    if (n > 0) {
        state.counters["reports_s"] = reports / n;
        state.counters["index_s"] = compile / n;
        state.counters["io_floor_s"] = floor / n;
        state.counters["max_stall_ms"] = longestGap;
        state.counters["index_stall_ms"] = longestIndexGap;
        std::sort(ratios.begin(), ratios.end());
        state.counters["x_floor"] = ratios[ratios.size() / 2];
    }
    state.counters["drawings"] = Form1->FileListBox1->count();
    // 1 when Qt's accessibility bridge took the batch's events (a screen reader's view).
    state.counters["accessible"] = QAccessible::isActive() ? 1 : 0;
    // The process's peak so far: run one size alone (--benchmark_filter) to compare sizes.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    showFolder(g_folder);
}

BENCHMARK(BM_BatchReporting)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_SelectAndReport)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_SingleReports)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_BatchCompile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_BareChmcmd)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_CompileAgainstBareChmcmd)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_BatchButton)
    ->Arg(kDrawings)
    ->Arg(2000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(2);

} // namespace

int main(int argc, char** argv) {
    // Offscreen unless told otherwise: accessibility_bench.sh runs it on a display of its own,
    // where Qt's accessibility bridge can be on.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    setUp();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    kvx::destroyForms();
    QDir(toolFolder()).removeRecursively();
    return 0;
}
