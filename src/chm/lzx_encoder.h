#pragma once
// LZX compression as compiled-help files use it: the content of the MSCompressed section is
// one LZX stream cut into 32 KiB frames, with the encoder state reset every few frames so a
// reader can start decoding at any reset point. Plain C++, no Qt.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kvx::chm {

struct LzxOptions {
    int windowBits = 16;                   // window of 2^windowBits bytes (15..21)
    std::uint32_t resetIntervalFrames = 2; // the state is reset every this many frames (1..64)
    // The first bytes of each incompressible write are coded all the same: a picture's
    // headers (JPEG tables, about 620 bytes) repeat from one picture to the next.
    std::uint32_t codedHeadBytes = 640;
    // Reset intervals are compressed on this many threads, 0 for one a core (at least two);
    // the stream is the same whatever the count. With 1, on the caller's thread.
    unsigned threads = 0;
};

class LzxEncoder {
public:
    static constexpr std::uint32_t kFrameSize = 32768;

    explicit LzxEncoder(LzxOptions options = {});
    ~LzxEncoder();
    LzxEncoder(const LzxEncoder&) = delete;
    LzxEncoder& operator=(const LzxEncoder&) = delete;

    // Optional, before the first write(): the stream goes to `sink` piece by piece as whole
    // reset intervals are done, in order (the spare word last, in finish()), and finish()
    // returns nothing. A writer can so put it straight into its file instead of holding it all
    // in memory. The sink is called on the thread that calls write() and finish().
    using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;
    void setSink(Sink sink);

    // Appends `size` bytes of section content. Bytes that do not compress (pictures) are
    // passed with `compressible` false and go into uncompressed blocks (all but their first
    // options().codedHeadBytes).
    void write(const std::uint8_t* data, std::size_t size, bool compressible);

    // Ends the stream and returns it, followed by one spare zero word: all of it is the
    // section's Content file. Readers decode whole frames, and one frame further when a
    // request ends on a frame boundary, so the content is padded out with zeros to the next
    // reset point. libmspack reads one word past the stream's end, hence the spare word.
    std::vector<std::uint8_t> finish();

    // After finish(): the compressed offset at which each frame starts, then the stream's
    // length without the spare word: one entry more than the number of frames (the reset
    // table's entries; the last one is also its compressed length).
    const std::vector<std::uint64_t>& frameOffsets() const;

    // Bytes passed to write() so far.
    std::uint64_t uncompressedSize() const;

    // After finish(): what the stream decodes to, the content and its padding (frames times
    // kFrameSize). 7-Zip accepts a reset table of frames + 1 entries only when its
    // uncompressed length is this, not uncompressedSize().
    std::uint64_t decodedSize() const;

    const LzxOptions& options() const;

private:
    void writeRun(const std::uint8_t* data, std::size_t size, bool compressible);
    void batchFull();
    void deliver(bool wait);

    struct State;
    struct Intervals;
    State* state_;         // what the writes have come to: bytes, runs, picture heads
    Intervals* intervals_; // the reset intervals being compressed
};

} // namespace kvx::chm
