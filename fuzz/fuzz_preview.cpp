// One fuzz input is tried three ways: as a whole drawing (read and decoded, then only
// inspected), as a bare bitmap entry and as a bare PNG entry. A PNG both the reader and libspng
// accept must decode the same in both. Pixel buffers are not cleared when allocated, so every
// bare entry is decoded again into buffers filled with two different bytes beforehand: a pixel
// the decoder never wrote would show as a difference.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include <spng.h>

#include "preview/dwg_preview.h"
#include "preview/picture_codecs.h"
#include "preview/rgb_picture.h"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// The area mean of target pixel (tx, ty), the slow and obvious way: every source pixel's
// overlap with it, in units of 1/target pixel along each axis.
std::uint8_t areaMean(const kvx::RgbPicture& p, std::uint32_t w, std::uint32_t h, std::uint32_t tx,
                      std::uint32_t ty, int channel) {
    auto overlap = [](std::uint64_t s, std::uint64_t t, std::uint64_t i, std::uint64_t o) {
        const std::uint64_t lo = std::max(s * t, o * i), hi = std::min((s + 1) * t, (o + 1) * i);
        return hi > lo ? hi - lo : 0;
    };
    std::uint64_t sum = 0;
    for (std::uint32_t y = 0; y < p.height; ++y) {
        const std::uint64_t wy = overlap(y, h, p.height, ty);
        for (std::uint32_t x = 0; wy && x < p.width; ++x)
            sum += overlap(x, w, p.width, tx) * wy *
                   p.rgb[(std::size_t(y) * p.width + x) * 3 + channel];
    }
    const std::uint64_t area = std::uint64_t(p.width) * p.height;
    return static_cast<std::uint8_t>((sum + area / 2) / area);
}

// A picture that keeps indices is reduced from them, and checked against its colours.
void checkPicture(const kvx::RgbPicture& picture) {
    require(picture.empty() || picture.complete());
    require(!picture.indexed() || picture.rgb.empty());
    const kvx::RgbPicture p = kvx::toRgb(picture);
    require(p.rgb.size() == std::size_t(p.width) * p.height * 3);
    if (p.empty())
        return;
    const kvx::Size2 fitted = kvx::fitInto(p.width, p.height, 37, 19, true);
    require(fitted.width >= 1 && fitted.width <= 37 && fitted.height >= 1 && fitted.height <= 19);
    const kvx::RgbPicture small = kvx::resampleArea(picture, fitted.width, fitted.height);
    require(small.rgb.size() == std::size_t(fitted.width) * fitted.height * 3);
    // Small pictures are checked pixel by pixel against the obvious computation.
    if (std::size_t(p.width) * p.height <= 4096)
        for (std::uint32_t y = 0; y < fitted.height; ++y)
            for (std::uint32_t x = 0; x < fitted.width; ++x)
                for (int c = 0; c < 3; ++c)
                    require(small.rgb[(std::size_t(y) * fitted.width + x) * 3 + c] ==
                            areaMean(p, fitted.width, fitted.height, x, y, c));
    require(kvx::backgroundColour(picture) == kvx::backgroundColour(p));
}

// libspng's RGB8 output, which the reader's own decoder reproduces; empty when the library
// refuses the bytes.
std::vector<std::uint8_t> decodeWithLibrary(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(0), spng_ctx_free);
    spng_set_image_limits(ctx.get(), kvx::kMaxPictureSide, kvx::kMaxPictureSide);
    spng_set_chunk_limits(ctx.get(), size, size);
    spng_set_png_buffer(ctx.get(), data, size);
    std::size_t outSize = 0;
    std::vector<std::uint8_t> rgb;
    if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGB8, &outSize) == 0) {
        rgb.resize(outSize);
        if (spng_decode_image(ctx.get(), rgb.data(), outSize, SPNG_FMT_RGB8, 0) != 0)
            rgb.clear();
    }
    return rgb;
}

using Decoder = kvx::CodecError (*)(const std::uint8_t*, std::size_t, std::uint64_t,
                                    kvx::RgbPicture&, const kvx::FitBox&);

// A picture whose buffers already hold room for `like`'s, every byte of it `fill`: the decoder
// reuses that room rather than asking for fresh memory.
kvx::RgbPicture prefilled(const kvx::RgbPicture& like, std::uint8_t fill) {
    kvx::RgbPicture p;
    p.rgb.assign(like.rgb.size(), fill);
    p.rgb.clear();
    p.indices.assign(like.indices.size(), fill);
    p.indices.clear();
    return p;
}

void requireEveryPixelWritten(Decoder decode, const std::uint8_t* data, std::size_t size,
                              const kvx::RgbPicture& decoded) {
    kvx::RgbPicture a = prefilled(decoded, 0x00), b = prefilled(decoded, 0xFF);
    require(!decode(data, size, 0, a, {}) && !decode(data, size, 0, b, {}));
    require(a.width == b.width && a.height == b.height && a.palette == b.palette &&
            a.indexOffset == b.indexOffset && a.indexStride == b.indexStride);
    require(a.rgb == b.rgb);
    // Only the bytes of index rows are pixels; a stride's padding is never read.
    for (std::uint32_t y = 0; a.indexed() && y < a.height; ++y)
        require(std::equal(a.indexRow(y), a.indexRow(y) + a.width, b.indexRow(y)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvx::MemorySource drawing(data, size);
    const kvx::PreviewResult decoded = kvx::readPreview(drawing, true);
    const kvx::PreviewResult inspected = kvx::readPreview(drawing, false);
    // Inspection checks a subset of what decoding checks.
    if (decoded.status != kvx::PreviewStatus::Damaged)
        require(inspected.status == decoded.status);
    if (decoded.status == kvx::PreviewStatus::Picture) {
        require(decoded.picture.width == decoded.info.width);
        require(decoded.picture.height == decoded.info.height);
        require(decoded.info.offset + decoded.info.size <= size);
        checkPicture(decoded.picture);
    } else {
        require(decoded.picture.empty() && !decoded.message.empty());
    }

    // Fitting while decoding gives what fitting afterwards gives, and fails where that fails.
    const kvx::FitBox box{37, 19, size % 2 == 0};
    kvx::RgbPicture picture, fitted;
    const bool bmpRead = !kvx::decodeBmp(data, size, 0, picture);
    require(!kvx::decodeBmp(data, size, 0, fitted, nullptr, box) == bmpRead);
    if (bmpRead) {
        checkPicture(picture);
        requireEveryPixelWritten(
            [](const std::uint8_t* d, std::size_t n, std::uint64_t base, kvx::RgbPicture& p,
               const kvx::FitBox& f) { return kvx::decodeBmp(d, n, base, p, nullptr, f); },
            data, size, picture);
        const kvx::Size2 s = kvx::fitInto(picture.width, picture.height, 37, 19, box.enlarge);
        const kvx::RgbPicture expected = kvx::resampleArea(picture, s.width, s.height);
        require(fitted.width == expected.width && fitted.height == expected.height &&
                fitted.rgb == expected.rgb);
    }
    picture = {};
    fitted = {};
    kvx::PngHeader header;
    const bool pngRead = !kvx::decodePng(data, size, 0, picture, &header);
    if (pngRead) {
        checkPicture(picture);
        requireEveryPixelWritten(
            [](const std::uint8_t* d, std::size_t n, std::uint64_t base, kvx::RgbPicture& p,
               const kvx::FitBox& f) { return kvx::decodePng(d, n, base, p, nullptr, f); },
            data, size, picture);
        const std::vector<std::uint8_t> library = decodeWithLibrary(data, size);
        const kvx::RgbPicture rgb = kvx::toRgb(picture);
        require(library.empty() ||
                std::equal(library.begin(), library.end(), rgb.rgb.begin(), rgb.rgb.end()));
    }
    require(!kvx::decodePng(data, size, 0, fitted, nullptr, box) == pngRead);
    if (pngRead) {
        const kvx::Size2 s = kvx::fitInto(picture.width, picture.height, 37, 19, box.enlarge);
        const kvx::RgbPicture expected = kvx::resampleArea(picture, s.width, s.height);
        require(fitted.width == expected.width && fitted.height == expected.height &&
                kvx::toRgb(fitted).rgb == expected.rgb);
    }
    return 0;
}
