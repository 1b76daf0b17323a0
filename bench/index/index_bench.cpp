// The five index pages of a folder of 10,000 reports: built in memory, and written into a
// real folder with every page replaced atomically.

#include "index/index_pages.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace {

// Mostly plain names, one in ten with characters the pages must escape.
std::vector<std::string> reports(int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.push_back(QFile::encodeName(
                            i % 10
                                ? QStringLiteral("plan-%1.dwg.htm").arg(i, 5, 10, QLatin1Char('0'))
                                : QStringLiteral("R&D lot %1 #é.dwg.htm").arg(i))
                            .toStdString());
    return names;
}

void BM_BuildIndexPages(benchmark::State& state) {
    const std::vector<std::string> names = reports(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (int page = 0; page < kvx::kIndexPageCount; ++page)
            bytes += kvx::indexPage(page, "/home/user/Plans", names).size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["page bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuildIndexPages)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_WriteIndexPages(benchmark::State& state) {
    const std::vector<std::string> names = reports(static_cast<int>(state.range(0)));
    QTemporaryDir dir;
    for (auto _ : state) {
        if (!kvx::writeIndexPages(QFile::encodeName(dir.path()).toStdString(), names).ok)
            state.SkipWithError("the pages could not be written");
    }
}
BENCHMARK(BM_WriteIndexPages)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
