#pragma once
// The two picture formats of a drawing's image section: device-independent bitmaps and PNG,
// both by our own decoders over libdeflate. Every field is checked against the bytes the entry
// holds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "preview/dwg_preview.h"
#include "preview/rgb_picture.h"

namespace kvx {

// A decoding failure: the error and a message naming the field, its offset in the file and
// what was expected.
struct CodecError {
    PreviewError code = PreviewError::None;
    std::string message;
    explicit operator bool() const { return code != PreviewError::None; }
};

// Where a bitmap's parts lie inside its entry, once its header has been checked.
struct BmpLayout {
    std::uint32_t headerSize = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool topDown = false;
    unsigned bits = 0;
    std::uint32_t paletteEntries = 0; // entries actually present
    unsigned paletteEntryBytes = 4;   // 3 in the oldest (12-byte) header
    std::uint64_t paletteOffset = 0;  // from the entry's start
    std::uint64_t pixelOffset = 0;
    std::uint64_t stride = 0; // bytes per row, padded to four
};

// The longest bitmap header the parser looks at; reading this much (or the whole entry when
// it is shorter) is enough for parseBmpHeader.
constexpr std::size_t kBmpHeaderProbe = 124;

// Checks a bitmap header. `head` holds the entry's first bytes, `entrySize` is the whole
// entry's size and `base` the entry's offset in the file (for messages only).
CodecError parseBmpHeader(const std::uint8_t* head, std::size_t headSize, std::uint64_t entrySize,
                          std::uint64_t base, BmpLayout& layout);

// Decodes a whole bitmap entry (header, palette, rows) into RGB; with a box, fitted into it
// (fitInto, then resampleArea) without the full-size picture being held.
CodecError decodeBmp(const std::uint8_t* data, std::size_t size, std::uint64_t base,
                     RgbPicture& picture, BmpLayout* layoutOut = nullptr, const FitBox& fit = {});

struct PngHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    unsigned bitDepth = 0;
    unsigned colourType = 0;
    bool interlaced = false; // Adam7
};

// Signature and IHDR chunk: the first 33 bytes of a PNG.
constexpr std::size_t kPngHeaderProbe = 33;

// Checks the signature and the IHDR chunk, and that the stored bytes could hold the picture.
CodecError parsePngHeader(const std::uint8_t* head, std::size_t headSize, std::uint64_t entrySize,
                          std::uint64_t base, PngHeader& header);

// Decodes a whole PNG entry: palette indices and grey levels of up to eight bits, unless
// interlaced or fitted, keep their indices (RgbPicture::indexed), everything else becomes RGB.
// An alpha channel is dropped, sixteen-bit samples keep their high byte, palette indices past
// the palette give black. Decoded here: libdeflate
// inflates, the row filters and the seven passes of interlaced pictures are ours.
// With a box, the picture comes out fitted into it (fitInto, then resampleArea) and, unless it
// is interlaced, without the full-size picture ever being held.
CodecError decodePng(const std::uint8_t* data, std::size_t size, std::uint64_t base,
                     RgbPicture& picture, PngHeader* headerOut = nullptr, const FitBox& fit = {});

} // namespace kvx
