#pragma once
// Baseline JFIF encoding of an RGB picture with libjpeg. GUI-free.

#include <cstddef>
#include <string>

namespace kvx {

// Encodes `width` x `height` RGB pixels (rows top to bottom, `stride` bytes apart) with
// libjpeg's defaults at quality 90, baseline, not progressive. Throws std::runtime_error
// with libjpeg's message when it fails; the encoder is released on every path.
std::string encodeJpeg(const unsigned char* rgb, int width, int height, std::size_t stride,
                       int quality = 90);

} // namespace kvx
