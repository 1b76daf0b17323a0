// The tool folder's help compiler and viewer on an index of 1,000 reports: hhc.exe against
// bare chmcmd on the pages and pictures of the folder, and hh.exe unpacking the compiled file.

#include "support/index_folder.h"
#include "support/shell_quote.h"

#include "chm/chmcmd_project.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kReports = 1000;

// One folder of reports for the whole run, removed at its end.
struct BenchFolder {
    fs::path dir = fs::temp_directory_path() / ("kvx-help-bench-" + std::to_string(::getpid()));
    BenchFolder() {
        fs::remove_all(dir);
        fs::create_directories(dir / "plans");
        kvxtest::writeIndexFolder((dir / "plans").string(), kReports);
    }
    ~BenchFolder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

const fs::path& folder() {
    static const BenchFolder f;
    return f.dir;
}

void check(int status, benchmark::State& state) {
    if (status != 0)
        state.SkipWithError("the tool failed");
}

// CPU seconds spent by finished children: steadier than wall time on a shared machine.
double childCpu() {
    rusage r{};
    ::getrusage(RUSAGE_CHILDREN, &r);
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// Reports the children's CPU time per iteration next to the wall time.
struct ChildCpu {
    benchmark::State& state;
    double start = childCpu();
    ~ChildCpu() {
        state.counters["child_cpu_s"] =
            benchmark::Counter(childCpu() - start, benchmark::Counter::kAvgIterations);
    }
};

void BM_HhcExe(benchmark::State& state) {
    const fs::path index = folder() / "plans" / "index.htm";
    ChildCpu cpu{state};
    for (auto _ : state)
        check(
            std::system((kvxtest::shellQuoted(KVX_HHC) + " " + kvxtest::shellQuoted(index.string()))
                            .c_str()),
            state);
    state.counters["reports"] = kReports;
}

void BM_BareChmcmd(benchmark::State& state) {
    // The project hhc.exe writes, compiled by chmcmd alone.
    const fs::path plans = folder() / "plans";
    fs::create_directories(plans / ".bare.out");
    std::ofstream(plans / ".bare.hhp")
        << kvxbench::chmcmdProject(".bare.out/hhctest.chm", kvxbench::chmcmdFiles(plans.string()));
    const std::string command = "cd " + kvxtest::shellQuoted(plans.string()) +
                                " && chmcmd --no-html-scan .bare.hhp >/dev/null 2>&1";
    {
        ChildCpu cpu{state};
        for (auto _ : state)
            check(std::system(command.c_str()), state);
    }
    fs::remove(plans / ".bare.hhp");
    fs::remove_all(plans / ".bare.out");
    state.counters["reports"] = kReports;
}

void BM_HhExtract(benchmark::State& state) {
    const fs::path chm = folder() / "plans" / "hhctest.chm";
    if (!fs::exists(chm))
        check(std::system((kvxtest::shellQuoted(KVX_HHC) + " " +
                           kvxtest::shellQuoted((folder() / "plans" / "index.htm").string()))
                              .c_str()),
              state);
    const fs::path cache = folder() / "cache";
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    ::setenv("KORVENIX_OPENER", "true", 1);
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(cache);
        state.ResumeTiming();
        check(
            std::system(
                (kvxtest::shellQuoted(KVX_HH) + " " + kvxtest::shellQuoted(chm.string())).c_str()),
            state);
    }
    state.counters["entries"] = 2 * kReports + 5;
}

} // namespace

BENCHMARK(BM_HhcExe)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2)->Repetitions(4);
BENCHMARK(BM_BareChmcmd)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2)
    ->Repetitions(4);
BENCHMARK(BM_HhExtract)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

BENCHMARK_MAIN();
