// The tool folder's help compiler and viewer on an index of 1,000 reports: hhc.exe against
// bare chmcmd on the same project file, and hh.exe unpacking the compiled file.

#include "support/index_folder.h"

#include "chm_project.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kReports = 1000;

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// One folder of reports for the whole run.
const fs::path& folder() {
    static const fs::path dir = [] {
        const fs::path d =
            fs::temp_directory_path() / ("kvx-help-bench-" + std::to_string(::getpid()));
        fs::remove_all(d);
        fs::create_directories(d / "plans");
        kvxtest::writeIndexFolder((d / "plans").string(), kReports);
        return d;
    }();
    return dir;
}

void check(int status, benchmark::State& state) {
    if (status != 0)
        state.SkipWithError("the tool failed");
}

void BM_HhcExe(benchmark::State& state) {
    const fs::path index = folder() / "plans" / "index.htm";
    for (auto _ : state)
        check(std::system((quoted(KVX_HHC) + " " + quoted(index.string())).c_str()), state);
    state.counters["reports"] = kReports;
}

void BM_BareChmcmd(benchmark::State& state) {
    // The project hhc.exe writes, compiled by chmcmd alone.
    const fs::path plans = folder() / "plans";
    fs::create_directories(plans / ".bare.out");
    std::ofstream(plans / ".bare.hhp") << kvx::hhc::projectText(
        ".bare.out/hhctest.chm", "index.htm", "plans", kvx::hhc::listProjectFiles(plans.string()));
    const std::string command =
        "cd " + quoted(plans.string()) + " && chmcmd --no-html-scan .bare.hhp >/dev/null 2>&1";
    for (auto _ : state)
        check(std::system(command.c_str()), state);
    fs::remove(plans / ".bare.hhp");
    fs::remove_all(plans / ".bare.out");
    state.counters["reports"] = kReports;
}

void BM_HhExtract(benchmark::State& state) {
    const fs::path chm = folder() / "plans" / "hhctest.chm";
    if (!fs::exists(chm))
        check(std::system(
                  (quoted(KVX_HHC) + " " + quoted((folder() / "plans" / "index.htm").string()))
                      .c_str()),
              state);
    const fs::path cache = folder() / "cache";
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    ::setenv("KORVENIX_OPENER", "true", 1);
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(cache);
        state.ResumeTiming();
        check(std::system((quoted(KVX_HH) + " " + quoted(chm.string())).c_str()), state);
    }
    state.counters["entries"] = 2 * kReports + 5;
}

} // namespace

BENCHMARK(BM_HhcExe)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(3);
BENCHMARK(BM_BareChmcmd)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(3);
BENCHMARK(BM_HhExtract)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

BENCHMARK_MAIN();
