#pragma once
// Writing the thumbnails' PNG files.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "preview/rgb_picture.h"

namespace kvx {

// Encodes an RGB picture as an 8-bit RGB PNG.
bool encodePng(const RgbPicture& picture, std::vector<std::uint8_t>& png, std::string& error);

// Appends a raw deflate stream of `data` (one block, the fixed code) to `out`, built from
// repeats of the pixel before (three bytes back) and of the row above (`rowBytes` back).
void deflateRepeats(const std::uint8_t* data, std::size_t size, std::size_t rowBytes,
                    std::vector<std::uint8_t>& out);

} // namespace kvx
