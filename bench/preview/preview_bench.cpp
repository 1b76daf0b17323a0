// Reading stored previews: a folder of 1,000 drawings read and decoded (at full size, and
// fitted into the view), against reading only the bytes of their image sections and against
// reading the whole files; and one preview from drawings of very different sizes.

#include <benchmark/benchmark.h>

#include <cstring>
#include <fcntl.h>
#include <libdeflate.h>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "preview/byte_format.h"
#include "preview/dwg_preview.h"
#include "preview/rgb_picture.h"
#include "support/dwg_builder.h"

using namespace kvxtest;

namespace {

constexpr int kDrawings = 1000;

// What a drawing stores in a release that writes bitmaps, and one that writes PNG.
Bytes bitmapDrawing(std::size_t body) {
    BmpOptions o;
    o.bits = 8;
    return DwgBuilder("AC1018")
        .bodyBefore(0x180)
        .bodyAfter(body)
        .headerData()
        .bmp(makeBmp(Image::pattern(216, 140, 200), o))
        .build();
}

// Later releases store an indexed PNG of mostly background, a few kilobytes.
Bytes pngDrawing(std::size_t body) {
    Image image(670, 448, 33, 40, 48);
    for (std::uint32_t i = 0; i < 400; ++i)
        image.fillRect((i * 37) % 650, (i * 53) % 440, 12, 2, 0x00FFFF);
    PngOptions o;
    o.colourType = 3;
    return DwgBuilder("AC1032")
        .bodyBefore(0x180)
        .bodyAfter(body)
        .headerData()
        .png(makePng(image, o))
        .build();
}

struct Folder {
    TempDir dir;
    std::vector<std::string> paths;
    Folder(const Bytes& drawing, int count) {
        for (int i = 0; i < count; ++i)
            paths.push_back(dir.write("d" + std::to_string(i) + ".dwg", drawing));
    }
};

Folder& bitmapFolder() {
    static Folder folder(bitmapDrawing(150000), kDrawings);
    return folder;
}

// Drawings storing a PNG: as small as the sample drawings of those releases (about 150 KB)
// and as large as the samples of earlier releases (about 500 KB).
Folder& pngFolder(std::int64_t body) {
    static std::map<std::int64_t, std::unique_ptr<Folder>> folders;
    auto& folder = folders[body];
    if (!folder)
        folder = std::make_unique<Folder>(pngDrawing(std::size_t(body)), kDrawings);
    return *folder;
}

// The least a reader must do: open, read the header and the image section, close.
std::uint64_t readSectionBytes(const std::string& path, std::vector<std::uint8_t>& buffer) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::uint8_t head[17];
    std::uint64_t total = 0;
    if (::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head)) {
        const std::uint32_t address =
            head[13] | head[14] << 8 | head[15] << 16 | std::uint32_t(head[16]) << 24;
        std::uint8_t start[21];
        if (::pread(fd, start, sizeof start, address) == ssize_t(sizeof start)) {
            const std::uint32_t overall =
                start[16] | start[17] << 8 | start[18] << 16 | std::uint32_t(start[19]) << 24;
            buffer.resize(overall);
            total = static_cast<std::uint64_t>(::pread(fd, buffer.data(), overall, address + 20));
        }
    }
    ::close(fd);
    return total;
}

// What a tool that reads whole drawings pays at the least: every byte of every file.
std::uint64_t readWholeFile(const std::string& path, std::vector<std::uint8_t>& buffer) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    buffer.resize(1 << 16);
    std::uint64_t total = 0;
    for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;)
        total += static_cast<std::uint64_t>(n);
    ::close(fd);
    return total;
}

// Runs `perDrawing` over the folder's drawings once per iteration; what it returns is summed
// so that none of its work can be left out.
template <class PerDrawing>
void overFolder(benchmark::State& state, Folder& folder, PerDrawing perDrawing) {
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (const std::string& path : folder.paths)
            sum += perDrawing(path);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kDrawings);
}

void readWholeFiles(benchmark::State& state, Folder& folder) {
    std::vector<std::uint8_t> buffer;
    overFolder(state, folder, [&](const std::string& path) { return readWholeFile(path, buffer); });
}

// Decoded at full size: a palette picture keeps its indices, as it is stored.
void readAndDecode(benchmark::State& state, Folder& folder) {
    overFolder(state, folder, [](const std::string& path) {
        const kvx::PreviewResult r = kvx::readPreview(path);
        return std::uint64_t(r.picture.width) * r.picture.height + r.picture.at(0, 0).r;
    });
}

// Decoded at full size, and every pixel's colour made.
void readDecodeAndExpand(benchmark::State& state, Folder& folder) {
    overFolder(state, folder, [](const std::string& path) {
        return std::uint64_t(kvx::toRgb(kvx::readPreview(path).picture).rgb.size());
    });
}

// What the thumbnailer and the view need: the picture fitted into 252 x 126, a PNG reduced
// while it is decoded.
void readAndFit(benchmark::State& state, Folder& folder) {
    overFolder(state, folder, [](const std::string& path) {
        return std::uint64_t(
            kvx::readPreview(path, kvx::FitBox{252, 126, false}).picture.rgb.size());
    });
}

void readBytesOnly(benchmark::State& state, Folder& folder) {
    std::vector<std::uint8_t> buffer;
    overFolder(state, folder,
               [&](const std::string& path) { return readSectionBytes(path, buffer); });
}

// The least any PNG decoder pays: open, read the stored PNG, inflate its image data with its
// Adler-32 checked, close. Nothing is unfiltered, converted or resampled.
void readAndInflateOnly(benchmark::State& state, Folder& folder) {
    struct Entry {
        std::uint64_t offset, size, rawSize;
    };
    std::vector<Entry> entries;
    for (const std::string& path : folder.paths) {
        const kvx::PreviewResult r = kvx::inspectPreview(path);
        const std::uint64_t raw = (std::uint64_t(r.info.width) + 1) * r.info.height;
        entries.push_back({r.info.offset, r.info.size, raw});
    }
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    std::vector<std::uint8_t> png, raw;
    for (auto _ : state) {
        std::uint64_t bytes = 0;
        for (std::size_t i = 0; i < folder.paths.size(); ++i) {
            const Entry& e = entries[i];
            const int fd = ::open(folder.paths[i].c_str(), O_RDONLY | O_CLOEXEC);
            png.resize(e.size);
            if (::pread(fd, png.data(), e.size, off_t(e.offset)) == ssize_t(e.size)) {
                // One IDAT chunk right after the signature, IHDR and PLTE.
                std::size_t at = 8;
                while (std::memcmp(png.data() + at + 4, "IDAT", 4) != 0)
                    at += 12 + kvx::be32(png.data() + at);
                raw.resize(e.rawSize);
                std::size_t out = 0;
                libdeflate_zlib_decompress(inflater, png.data() + at + 8,
                                           kvx::be32(png.data() + at), raw.data(), raw.size(),
                                           &out);
                bytes += out;
            }
            ::close(fd);
        }
        benchmark::DoNotOptimize(bytes);
    }
    libdeflate_free_decompressor(inflater);
    state.SetItemsProcessed(state.iterations() * kDrawings);
}

void BM_Bitmap1000_ReadAndDecode(benchmark::State& s) {
    readAndDecode(s, bitmapFolder());
}
void BM_Bitmap1000_ReadBytesOnly(benchmark::State& s) {
    readBytesOnly(s, bitmapFolder());
}
void BM_Bitmap1000_ReadWholeFiles(benchmark::State& s) {
    readWholeFiles(s, bitmapFolder());
}
void BM_Png1000_ReadAndDecode(benchmark::State& s) {
    readAndDecode(s, pngFolder(s.range(0)));
}
void BM_Png1000_ReadDecodeAndExpand(benchmark::State& s) {
    readDecodeAndExpand(s, pngFolder(s.range(0)));
}
void BM_Bitmap1000_ReadAndFit(benchmark::State& s) {
    readAndFit(s, bitmapFolder());
}
void BM_Png1000_ReadAndFit(benchmark::State& s) {
    readAndFit(s, pngFolder(s.range(0)));
}
void BM_Png1000_ReadWholeFiles(benchmark::State& s) {
    readWholeFiles(s, pngFolder(s.range(0)));
}
void BM_Png1000_ReadAndInflateOnly(benchmark::State& s) {
    readAndInflateOnly(s, pngFolder(s.range(0)));
}
void BM_Png1000_ReadBytesOnly(benchmark::State& s) {
    readBytesOnly(s, pngFolder(s.range(0)));
}
void BM_Bitmap1000_Inspect(benchmark::State& state) {
    for (auto _ : state)
        for (const std::string& path : bitmapFolder().paths)
            benchmark::DoNotOptimize(kvx::inspectPreview(path).info.width);
    state.SetItemsProcessed(state.iterations() * kDrawings);
}

BENCHMARK(BM_Bitmap1000_ReadAndDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bitmap1000_ReadAndFit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bitmap1000_ReadBytesOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bitmap1000_ReadWholeFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bitmap1000_Inspect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png1000_ReadAndDecode)->Arg(140000)->Arg(500000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png1000_ReadDecodeAndExpand)->Arg(140000)->Arg(500000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png1000_ReadAndFit)->Arg(140000)->Arg(500000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png1000_ReadAndInflateOnly)->Arg(140000)->Arg(500000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png1000_ReadBytesOnly)->Arg(140000)->Arg(500000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png1000_ReadWholeFiles)->Arg(140000)->Arg(500000)->Unit(benchmark::kMillisecond);

// One preview out of drawings from 16 KiB to 256 MiB: the time must not follow the size.
void BM_OnePreview_ByDrawingSize(benchmark::State& state) {
    TempDir dir;
    const std::string path = dir.write("big.dwg", bitmapDrawing(std::size_t(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(kvx::readPreview(path).picture.rgb.data());
    state.counters["drawing_MiB"] = double(state.range(0)) / (1 << 20);
}
BENCHMARK(BM_OnePreview_ByDrawingSize)
    ->Arg(16 << 10)
    ->Arg(1 << 20)
    ->Arg(32 << 20)
    ->Arg(256 << 20)
    ->Unit(benchmark::kMicrosecond);

// Fitting a 672 x 448 preview into the 252 x 126 view.
void BM_FitIntoView(benchmark::State& state) {
    kvx::RgbPicture p;
    p.width = 672;
    p.height = 448;
    p.rgb.assign(672 * 448 * 3, 90);
    const kvx::Size2 fitted = kvx::fitInto(p.width, p.height, 252, 126, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(kvx::resampleArea(p, fitted.width, fitted.height).rgb.data());
}
BENCHMARK(BM_FitIntoView)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
