// One fuzz input is tried three ways: as a whole drawing (read and decoded, then only
// inspected), as a bare bitmap entry and as a bare PNG entry.

#include <cstdint>
#include <cstdlib>

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
    if (!kvx::decodePng(data, size, 0, picture))
        checkPicture(picture);
    return 0;
}
