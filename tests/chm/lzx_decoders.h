#pragma once
// Three independent LZX decoders for the encoder's tests: libmspack's (the one the viewer
// reads with), chmlib's and 7-Zip's. Each decodes whole frames from a given reset frame, the
// way a reader seeks through the reset table.

#include <cstdint>
#include <string>
#include <vector>

namespace kvx::chm::test {

struct LzxStream {
    std::vector<std::uint8_t> bytes;         // with the spare word at the end
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
// 7-Zip decodes LZX frame by frame as in a help file, and insists that each frame's bytes are
// used up exactly; it is reached through `7z x` on a cabinet with one LZX folder per reset
// interval and one frame per data block, which it decodes the same way.
Decoded decodeWith7zip(const LzxStream& s, std::size_t first, std::size_t frames);

} // namespace kvx::chm::test
