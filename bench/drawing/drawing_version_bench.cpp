// Identifying the releases of a folder of 10,000 drawings.

#include "drawing/drawing_version.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path dir;
    std::vector<std::string> files;

    explicit Folder(int count) {
        char tmpl[] = "/tmp/kvx-bench-version-XXXXXX";
        dir = ::mkdtemp(tmpl);
        static const char* const headers[] = {"AC1015", "AC1018", "AC1032", "AC1009", "AC1014"};
        const std::string body(4096, '\x5A');
        for (int i = 0; i < count; ++i) {
            const std::string p = (dir / ("plan" + std::to_string(i) + ".dwg")).string();
            std::ofstream(p, std::ios::binary) << headers[i % 5] << body;
            files.push_back(p);
        }
    }
    ~Folder() { fs::remove_all(dir); }
};

void BM_IdentifyTenThousandDrawings(benchmark::State& state) {
    static Folder folder(10000);
    std::size_t offered = 0;
    for (auto _ : state) {
        for (const std::string& f : folder.files)
            offered += kvx::IdentifyDrawingVersion(f).offered;
    }
    benchmark::DoNotOptimize(offered);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(folder.files.size()));
}
BENCHMARK(BM_IdentifyTenThousandDrawings)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
