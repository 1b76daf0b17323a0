#pragma once
// LZX compression as compiled-help files use it: the content of the MSCompressed section is
// one LZX stream cut into 32 KiB frames, with the encoder state reset every few frames so a
// reader can start decoding at any reset point. Plain C++, no Qt.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvx::chm {

struct LzxOptions {
    int windowBits = 16;               // window of 2^windowBits bytes (15..21)
    std::uint32_t resetIntervalFrames = 2; // the state is reset every this many frames
};

class LzxEncoder {
public:
    static constexpr std::uint32_t kFrameSize = 32768;

    explicit LzxEncoder(LzxOptions options = {});
    ~LzxEncoder();
    LzxEncoder(const LzxEncoder&) = delete;
    LzxEncoder& operator=(const LzxEncoder&) = delete;

    // Appends `size` bytes of section content. Bytes that do not compress (pictures) are
    // passed with `compressible` false and go into uncompressed blocks.
    void write(const std::uint8_t* data, std::size_t size, bool compressible);

    // Ends the stream (the last frame may be shorter than a full frame) and returns it.
    std::vector<std::uint8_t> finish();

    // After finish(): the compressed offset at which each frame starts, then the stream's
    // total length: one entry more than the number of frames (the reset table's entries).
    const std::vector<std::uint64_t>& frameOffsets() const;

    // Bytes passed to write() so far.
    std::uint64_t uncompressedSize() const;

    const LzxOptions& options() const;

private:
    struct State;
    State* state_;
};

} // namespace kvx::chm
