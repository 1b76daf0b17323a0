#pragma once
// Two independent LZX decoders for the encoder's tests: libmspack's (the one the viewer reads
// with) and chmlib's. Each decodes whole frames from a given reset frame, the way a reader
// seeks through the reset table.

#include <cstdint>
#include <string>
#include <vector>

namespace kvx::chm::test {

struct LzxStream {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint64_t> frameOffsets; // one more than the frames
    int windowBits = 16;
    std::uint32_t resetIntervalFrames = 2;
};

struct Decoded {
    bool ok = false;
    std::string error;
    std::vector<std::uint8_t> bytes;
};

// Decodes `frames` frames starting at frame `first` (a reset point).
Decoded decodeWithLibmspack(const LzxStream& s, std::size_t first, std::size_t frames);
Decoded decodeWithChmlib(const LzxStream& s, std::size_t first, std::size_t frames);

} // namespace kvx::chm::test
