#pragma once
// LZX compression as compiled-help files use it: the content of the MSCompressed section is
// one LZX stream cut into 32 KiB frames, with the encoder state reset every few frames so a
// reader can start decoding at any reset point. Plain C++, no Qt.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvx::chm {

struct LzxOptions {
    int windowBits = 16;                   // window of 2^windowBits bytes (15..21)
    std::uint32_t resetIntervalFrames = 2; // the state is reset every this many frames
    // The first bytes of each incompressible write are coded all the same: a picture's
    // headers (JPEG tables, about 620 bytes) repeat from one picture to the next.
    std::uint32_t codedHeadBytes = 640;
};

class LzxEncoder {
public:
    static constexpr std::uint32_t kFrameSize = 32768;

    explicit LzxEncoder(LzxOptions options = {});
    ~LzxEncoder();
    LzxEncoder(const LzxEncoder&) = delete;
    LzxEncoder& operator=(const LzxEncoder&) = delete;

    // Appends `size` bytes of section content. Bytes that do not compress (pictures) are
    // passed with `compressible` false and go into uncompressed blocks (all but their first
    // options().codedHeadBytes).
    void write(const std::uint8_t* data, std::size_t size, bool compressible);

    // Ends the stream and returns it. The content need not fill the last frame: readers
    // decode whole frames, so the stream holds that frame padded out with zeros (and one
    // spare zero word after it).
    std::vector<std::uint8_t> finish();

    // After finish(): the compressed offset at which each frame starts, then the stream's
    // total length: one entry more than the number of frames (the reset table's entries).
    const std::vector<std::uint64_t>& frameOffsets() const;

    // Bytes passed to write() so far.
    std::uint64_t uncompressedSize() const;

    const LzxOptions& options() const;

private:
    void writeRun(const std::uint8_t* data, std::size_t size, bool compressible);

    struct State;
    State* state_;
};

} // namespace kvx::chm
