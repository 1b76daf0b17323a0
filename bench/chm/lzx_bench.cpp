// LZX encoding speed on what a help file holds: the report pages and index pages of a folder
// (compressed), their JPEG pictures (stored), and both in directory order. The compressed
// size is shown beside deflate's at level 6 on the same bytes.

#include "chm/lzx_encoder.h"
#include "index/index_pages.h"
#include "report/jpeg_writer.h"
#include "report/report_page.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kReports = 1000;
constexpr std::size_t kPictureSize = 23 * 1024;

std::string reportName(int i) {
    static const char* const kinds[] = {"PLAN", "COUPE", "FACADE", "DETAIL", "IMPLANTATION"};
    return std::string(kinds[i % 5]) + "-" + std::to_string(100 + i) + (i % 3 ? "" : " ind B") +
           ".dwg.htm";
}

std::string reportPage(int i) {
    kvx::ReportFields f;
    const std::string name = reportName(i);
    f.shortName = kvx::shortName(QString::fromStdString(name));
    f.imageFileName = kvx::reportImageName(name);
    f.location = QStringLiteral("/home/claire/Projets/Lycée Jean Moulin/Plans/Lot %1/%2")
                     .arg(i % 12)
                     .arg(QString::fromStdString(name.substr(0, name.size() - 4)));
    static const char* const versions[] = {"AutoCAD 2018/2019/2020/2021", "AutoCAD 2013/2014",
                                           "AutoCAD 2010/2011/2012", "AutoCAD 2004/2005/2006"};
    f.version = QString::fromLatin1(versions[i % 4]);
    f.modified = QStringLiteral("%1/%2/2024 %3:%4:%5")
                     .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                     .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                     .arg(8 + i % 10, 2, 10, QLatin1Char('0'))
                     .arg(i * 7 % 60, 2, 10, QLatin1Char('0'))
                     .arg(i * 2 % 60, 2, 10, QLatin1Char('0'));
    f.size = kvx::reportSize(40000 + (i * 7919) % 2000000);
    return kvx::reportPage(f);
}

// A drawing preview as the reports show it: dark lines on white, pixels doubled.
std::string picture(std::mt19937& rng) {
    const int w = 181, h = 91;
    std::vector<unsigned char> small(std::size_t(w) * h * 3, 255);
    for (int line = 0; line < 60; ++line) {
        int x0 = int(rng() % w), y0 = int(rng() % h);
        const int x1 = int(rng() % w), y1 = int(rng() % h);
        const unsigned char c = static_cast<unsigned char>(rng() % 96);
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        for (int err = dx + dy;;) {
            unsigned char* p = &small[(std::size_t(y0) * w + std::size_t(x0)) * 3];
            p[0] = p[1] = c;
            p[2] = static_cast<unsigned char>(c / 2);
            if (x0 == x1 && y0 == y1)
                break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }
    std::vector<unsigned char> big(std::size_t(w) * h * 12);
    for (int y = 0; y < 2 * h; ++y)
        for (int x = 0; x < 2 * w; ++x)
            std::memcpy(&big[(std::size_t(y) * 2 * w + std::size_t(x)) * 3],
                        &small[(std::size_t(y / 2) * w + std::size_t(x / 2)) * 3], 3);
    return kvx::encodeJpeg(big.data(), 2 * w, 2 * h, std::size_t(2 * w) * 3);
}

struct Content {
    std::string bytes;
    std::vector<std::pair<std::size_t, bool>> files; // size, compressible
};

Content helpContent(bool withPictures) {
    Content c;
    std::vector<std::string> names;
    for (int i = 0; i < kReports; ++i)
        names.push_back(reportName(i));
    for (int page = 0; page < kvx::kIndexPageCount; ++page) {
        const std::string text = kvx::indexPage(page, "/home/claire/Projets/Plans", names);
        c.bytes += text;
        c.files.emplace_back(text.size(), true);
    }
    std::mt19937 rng(7);
    for (int i = 0; i < kReports; ++i) {
        const std::string page = reportPage(i);
        c.bytes += page;
        c.files.emplace_back(page.size(), true);
        if (withPictures) {
            const std::string jpeg = picture(rng);
            c.bytes += jpeg;
            c.files.emplace_back(jpeg.size(), false);
        }
    }
    return c;
}

// JPEG-like bytes: the stored path alone.
Content pictures() {
    Content c;
    std::mt19937 rng(9);
    for (int i = 0; i < 300; ++i) {
        for (std::size_t k = 0; k < kPictureSize; ++k)
            c.bytes += char(rng());
        c.files.emplace_back(kPictureSize, false);
    }
    return c;
}

void encode(benchmark::State& state, const Content& c) {
    std::size_t compressed = 0;
    for (auto _ : state) {
        kvx::chm::LzxEncoder enc;
        std::size_t at = 0;
        for (const auto& [size, compressible] : c.files) {
            enc.write(reinterpret_cast<const std::uint8_t*>(c.bytes.data()) + at, size,
                      compressible);
            at += size;
        }
        compressed = enc.finish().size();
        benchmark::DoNotOptimize(compressed);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(c.bytes.size()));
    state.counters["input"] = double(c.bytes.size());
    state.counters["lzx/input"] = double(compressed) / double(c.bytes.size());
    uLongf size = compressBound(uLong(c.bytes.size()));
    std::vector<Bytef> out(size);
    compress2(out.data(), &size, reinterpret_cast<const Bytef*>(c.bytes.data()),
              uLong(c.bytes.size()), 6);
    state.counters["deflate6/input"] = double(size) / double(c.bytes.size());
}

void BM_LzxReportPages(benchmark::State& state) {
    static const Content c = helpContent(false);
    encode(state, c);
}
BENCHMARK(BM_LzxReportPages)->Unit(benchmark::kMillisecond);

void BM_LzxPictures(benchmark::State& state) {
    static const Content c = pictures();
    encode(state, c);
}
BENCHMARK(BM_LzxPictures)->Unit(benchmark::kMillisecond);

void BM_LzxHelpFileContent(benchmark::State& state) {
    static const Content c = helpContent(true);
    encode(state, c);
}
BENCHMARK(BM_LzxHelpFileContent)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
