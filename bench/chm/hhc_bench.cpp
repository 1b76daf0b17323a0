// hhc.exe on realistic index folders (report pages of about 1.5 KB, JPEG pictures of about
// 23 KB, the five index pages), round by round beside writing the same bytes into one file
// with fsync (what `cat` + fsync costs: the floor) and, for 1,000 reports, Free Pascal's
// chmcmd when it is installed. Reported per round: seconds of each, the ratios, the sizes.
// Each case runs hhc.exe on one thread or on every core (the second argument, 0).
// The folders go into TMPDIR: TMPDIR=/mnt/share/tmp times hhc.exe over a network share.
// KVX_BENCH_HHC=/path/to/hhc.exe times that one too, on the same folder (an earlier build).

#include "chm/chmcmd_project.h"
#include "index/index_pages.h"
#include "report/jpeg_writer.h"
#include "report/report_page.h"
#include "support/shell_quote.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A preview-like picture: soft shapes with some grain, about 23 KB at quality 90.
std::string picture(unsigned seed) {
    const int w = 252, h = 126;
    std::vector<unsigned char> rgb(static_cast<std::size_t>(w) * h * 3);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
            const int grain = static_cast<int>(rng() % 48);
            p[0] = static_cast<unsigned char>((x * 3 + grain + seed) & 0xFF);
            p[1] = static_cast<unsigned char>((y * 5 + grain) & 0xFF);
            p[2] = static_cast<unsigned char>(((x ^ y) + grain) & 0xFF);
        }
    return kvx::encodeJpeg(rgb.data(), w, h, static_cast<std::size_t>(w) * 3);
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

struct Folder {
    fs::path dir;
    std::vector<fs::path> files; // everything hhc.exe compiles
    std::uint64_t bytes = 0;
};

// `reports` reports and the five index pages; 64 different pictures in turn.
Folder makeFolder(int reports) {
    Folder f;
    f.dir = fs::temp_directory_path() /
            ("kvx-hhc-bench-" + std::to_string(::getpid()) + "-" + std::to_string(reports));
    fs::remove_all(f.dir);
    fs::create_directories(f.dir);
    std::vector<std::string> pictures;
    for (unsigned i = 0; i < 64; ++i)
        pictures.push_back(picture(i));
    std::vector<std::string> pages;
    for (int i = 0; i < reports; ++i) {
        char base[64];
        std::snprintf(base, sizeof base, "plan %05d.dwg", i);
        kvx::ReportFields fields;
        fields.shortName = QString::fromUtf8(base);
        fields.imageFileName = std::string(base) + ".jpg";
        fields.location = QStringLiteral("/home/user/Plans/") + QString::fromUtf8(base);
        fields.version = QStringLiteral("AutoCAD 2018");
        fields.modified = QStringLiteral("08/12/2026 12:34");
        fields.size = QStringLiteral("1,234 Kb");
        writeFile(f.dir / (std::string(base) + ".htm"), kvx::reportPage(fields));
        writeFile(f.dir / (std::string(base) + ".jpg"), pictures[i % pictures.size()]);
        pages.push_back(std::string(base) + ".htm");
    }
    kvx::writeIndexPages(f.dir.string(), pages);
    for (const auto& e : fs::directory_iterator(f.dir)) {
        f.files.push_back(e.path());
        f.bytes += fs::file_size(e.path());
    }
    return f;
}

double seconds(const std::function<bool()>& work, bool& ok) {
    const auto start = std::chrono::steady_clock::now();
    ok = work() && ok;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The same bytes into one file, then fsync: `cat` + fsync without the shell.
bool catAndSync(const Folder& f, const fs::path& out) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (const fs::path& p : f.files) {
        const int in = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0)
            return ::close(fd), false;
        ssize_t n;
        while ((n = ::read(in, buffer.data(), buffer.size())) > 0)
            ok = ::write(fd, buffer.data(), static_cast<std::size_t>(n)) == n && ok;
        ::close(in);
    }
    ok = ::fsync(fd) == 0 && ok;
    return ::close(fd) == 0 && ok;
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

void BM_HhcRounds(benchmark::State& state) {
    const int reports = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const char* other = std::getenv("KVX_BENCH_HHC");
    const Folder f = makeFolder(reports);
    const bool withChmcmd = reports <= 1000 && run("command -v chmcmd");
    const fs::path index = f.dir / "index.htm";
    const fs::path chm = f.dir / "hhctest.chm";
    const fs::path catOut =
        fs::temp_directory_path() / ("kvx-hhc-bench-cat-" + std::to_string(::getpid()));
    if (withChmcmd) {
        // The same features as hhc.exe's: contents and keywords (the list's entries, as
        // hhc.exe takes them from it) and full-text search.
        fs::create_directories(f.dir / ".bare.out");
        std::vector<std::string> names;
        for (const fs::path& p : f.files)
            names.push_back(p.filename().string());
        std::vector<std::pair<std::string, std::string>> contents{{"Miniatures", "miniatures.htm"}},
            keywords = contents;
        for (int i = 0; i < reports; ++i) {
            char base[64];
            std::snprintf(base, sizeof base, "plan %05d", i);
            contents.push_back(
                {std::to_string(i + 1) + ". " + base, std::string(base) + ".dwg.htm"});
            keywords.push_back({base, std::string(base) + ".dwg.htm"});
        }
        std::ofstream(f.dir / "bare.hhc") << kvxbench::sitemap(contents);
        std::ofstream(f.dir / "bare.hhk") << kvxbench::sitemap(keywords);
        std::ofstream(f.dir / ".bare.hhp")
            << kvxbench::chmcmdProject(".bare.out/hhctest.chm", names, "bare.hhc", "bare.hhk");
    }
    const std::string hhc =
        (threads > 0 ? "KORVENIX_HHC_THREADS=" + std::to_string(threads) + " " : std::string()) +
        kvxtest::shellQuoted(KVX_HHC) + " " + kvxtest::shellQuoted(index.string());
    const std::string otherHhc =
        other ? kvxtest::shellQuoted(other) + " " + kvxtest::shellQuoted(index.string()) : "";
    const std::string chmcmd =
        "cd " + kvxtest::shellQuoted(f.dir.string()) + " && chmcmd --no-html-scan .bare.hhp";
    double hhcTotal = 0, catTotal = 0, chmcmdTotal = 0, otherTotal = 0;
    bool ok = true;
    for (auto _ : state) {
        const double h = seconds([&] { return run(hhc); }, ok);
        const double c = seconds([&] { return catAndSync(f, catOut); }, ok);
        const double m = withChmcmd ? seconds([&] { return run(chmcmd); }, ok) : 0;
        const double o = other ? seconds([&] { return run(otherHhc); }, ok) : 0;
        state.SetIterationTime(h);
        hhcTotal += h;
        catTotal += c;
        chmcmdTotal += m;
        otherTotal += o;
        std::fprintf(stderr, "round: hhc.exe %.3f s, cat+fsync %.3f s%s%s\n", h, c,
                     withChmcmd ? (", chmcmd " + std::to_string(m) + " s").c_str() : "",
                     other ? (", " + std::string(other) + " " + std::to_string(o) + " s").c_str()
                           : "");
    }
    if (!ok)
        state.SkipWithError("a command failed");
    const double n = static_cast<double>(state.iterations());
    state.counters["reports"] = reports;
    state.counters["input_MB"] = static_cast<double>(f.bytes) / 1e6;
    state.counters["chm_MB"] = static_cast<double>(fs::file_size(chm)) / 1e6;
    state.counters["cat_fsync_s"] = catTotal / n;
    state.counters["hhc_over_cat"] = hhcTotal / catTotal;
    state.counters["threads"] = threads;
    if (other) {
        state.counters["other_s"] = otherTotal / n;
        state.counters["other_over_hhc"] = otherTotal / hhcTotal;
    }
    if (withChmcmd) {
        state.counters["chmcmd_s"] = chmcmdTotal / n;
        state.counters["chmcmd_over_hhc"] = chmcmdTotal / hhcTotal;
        state.counters["chm_over_chmcmd_size"] =
            static_cast<double>(fs::file_size(chm)) /
            static_cast<double>(fs::file_size(f.dir / ".bare.out" / "hhctest.chm"));
    }
    std::error_code ec;
    fs::remove(catOut, ec);
    if (!std::getenv("KVX_BENCH_KEEP")) // keeps the folder for a closer look
        fs::remove_all(f.dir, ec);
}

} // namespace

BENCHMARK(BM_HhcRounds)
    ->ArgNames({"reports", "threads"})
    ->Args({1000, 0})
    ->Args({2000, 1})
    ->Args({2000, 0})
    ->Args({10000, 0})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
