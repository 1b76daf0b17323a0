// One fuzz input is tried three ways: as a whole drawing (read and decoded, then only
// inspected), as a bare bitmap entry and as a bare PNG entry. A PNG both the reader and libspng
// accept must decode the same in both.

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

void checkPicture(const kvx::RgbPicture& p) {
    require(p.rgb.size() == std::size_t(p.width) * p.height * 3);
    if (p.empty())
        return;
    const kvx::Size2 fitted = kvx::fitInto(p.width, p.height, 37, 19, true);
    require(fitted.width >= 1 && fitted.width <= 37 && fitted.height >= 1 && fitted.height <= 19);
    const kvx::RgbPicture small = kvx::resampleArea(p, fitted.width, fitted.height);
    require(small.rgb.size() == std::size_t(fitted.width) * fitted.height * 3);
    (void)kvx::backgroundColour(p);
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

    kvx::RgbPicture picture;
    if (!kvx::decodeBmp(data, size, 0, picture))
        checkPicture(picture);
    picture = {};
    kvx::PngHeader header;
    const bool pngRead = !kvx::decodePng(data, size, 0, picture, &header);
    if (pngRead) {
        checkPicture(picture);
        const std::vector<std::uint8_t> library = decodeWithLibrary(data, size);
        require(library.empty() || library == picture.rgb);
    }
    // Fitting while decoding gives what fitting afterwards gives, and fails where that fails.
    const kvx::FitBox box{37, 19, size % 2 == 0};
    kvx::RgbPicture fitted;
    require(!kvx::decodePng(data, size, 0, fitted, nullptr, box) == pngRead);
    if (pngRead) {
        const kvx::Size2 s = kvx::fitInto(picture.width, picture.height, 37, 19, box.enlarge);
        const kvx::RgbPicture expected = kvx::resampleArea(picture, s.width, s.height);
        require(fitted.width == expected.width && fitted.height == expected.height &&
                fitted.rgb == expected.rgb);
    }
    return 0;
}
