#pragma once
// What the LZX encoder's parts share: the format's constants, the bit writer and the encoder's
// state. Private to src/chm: the match finder (lzx_matcher.cpp), the block writer
// (lzx_blocks.cpp) and the encoder's entry points (lzx_encoder.cpp).

#include "chm/lzx_encoder.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace kvx::chm {

namespace lzx {

inline constexpr std::uint32_t kFrame = LzxEncoder::kFrameSize;
inline constexpr unsigned kMaxMatch = 257;
inline constexpr unsigned kNumChars = 256;
inline constexpr unsigned kPrimaryLengths = 7;
inline constexpr unsigned kLengthSymbols = 249;
inline constexpr unsigned kPretreeSymbols = 20;
inline constexpr unsigned kMaxMainSymbols = kNumChars + 50 * 8;
inline constexpr unsigned kNoSymbol = 0xFFFF;
inline constexpr unsigned kBlockVerbatim = 1;
inline constexpr unsigned kBlockStored = 3;

// Runs shorter than this are not worth a block of their own: a short picture run is coded with
// its neighbours, a short text run between pictures is stored. It also bounds the number of
// blocks, and so of trees, in a frame.
inline constexpr std::uint32_t kMinRun = 512;

// Match finder effort: chain links followed, and the length that ends the search (a match of
// that length is also taken without looking one byte further).
inline constexpr int kMaxChain = 128;
inline constexpr unsigned kNiceLength = 257;
inline constexpr unsigned kHashBits = 15;
// Strings inside a match go into the hash chains only this far into it: long matches in
// markup are many, and the strings deep inside them rarely start a better match.
inline constexpr std::uint32_t kInsertInside = 32;

inline int positionSlots(int windowBits) {
    static const int slots[] = {30, 32, 34, 36, 38, 42, 50};
    return slots[windowBits - 15];
}

inline unsigned extraBits(unsigned slot) {
    return slot < 4 ? 0 : slot < 36 ? slot / 2 - 1 : 17;
}

struct SlotTable {
    std::uint32_t base[51];
    SlotTable() {
        base[0] = 0;
        for (unsigned i = 1; i < 51; ++i)
            base[i] = base[i - 1] + (1u << extraBits(i - 1));
    }
};
inline const SlotTable kSlots;

// The position slot of a formatted offset (the distance plus 2).
inline unsigned slotOf(std::uint32_t formatted) {
    if (formatted < 4)
        return formatted;
    const unsigned top = 31 - static_cast<unsigned>(__builtin_clz(formatted));
    if (top < 18)
        return 2 * top + ((formatted >> (top - 1)) & 1);
    return 36 + ((formatted - kSlots.base[36]) >> 17);
}

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    // `value` holds exactly `count` bits (count <= 32).
    void put(std::uint32_t value, unsigned count) {
        acc_ = (acc_ << count) | value;
        pending_ += count;
        if (pending_ >= 32)
            flushWords();
    }

    // Pads the current word with zeros and hands out every whole word.
    void alignWord() {
        flushWords();
        if (pending_ > 0)
            put(0, 16 - pending_);
        flushWords();
    }

    // Bits written since the last word boundary.
    unsigned bitsIntoWord() const { return pending_ % 16; }

private:
    void flushWords() {
        while (pending_ >= 16) {
            pending_ -= 16;
            const auto word = static_cast<std::uint16_t>(acc_ >> pending_);
            out_.push_back(static_cast<std::uint8_t>(word & 0xFF));
            out_.push_back(static_cast<std::uint8_t>(word >> 8));
        }
    }

    std::vector<std::uint8_t>& out_;
    std::uint64_t acc_ = 0;
    unsigned pending_ = 0;
};

struct Token {
    std::uint16_t main;   // literal byte, or 256 + slot * 8 + length header
    std::uint16_t length; // length tree symbol, or kNoSymbol
    std::uint16_t span;   // bytes of output
    std::uint8_t extraCount;
    std::uint32_t extra;
};

struct Match {
    unsigned length = 0;
    std::uint32_t distance = 0;
    int repeat = -1; // 0..2 when the distance is R0..R2
    int score = 0;   // estimated bits saved over literals
};

struct Run {
    std::uint32_t start; // segment positions
    std::uint32_t end;
    bool compressible;
};

// What a batch is made of, as the writes left it: its bytes are those of its place in the
// interval.
struct Batch {
    std::vector<Run> runs;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> storedHeads;
};

// One reset interval, to be compressed on its own: nothing of the stream before it is used.
struct Interval {
    std::vector<std::uint8_t> bytes; // from the reset point on
    std::vector<Batch> batches;
};

struct Compressed {
    std::vector<std::uint8_t> stream;
    std::vector<std::uint64_t> frameOffsets; // from the interval's first byte
};

} // namespace lzx

struct LzxEncoder::State {
    explicit State(LzxOptions o) : options(o), bits(out) {}

    LzxOptions options;
    std::uint32_t windowSize = 0;
    std::uint32_t maxDistance = 0;
    unsigned mainSymbols = 0;
    std::uint32_t batchFrames = 1;

    std::vector<std::uint8_t> out;
    lzx::BitWriter bits;
    Sink sink;
    std::uint64_t outBase = 0; // stream bytes already handed to the sink
    std::vector<std::uint64_t> frameOffsets;
    std::uint64_t written = 0;
    std::uint64_t framesDone = 0;
    bool finished = false;

    // The bytes since the last reset point (at most a window of them before the pending
    // batch). Positions count from the reset point; seg[0] is position segBase.
    std::vector<std::uint8_t> seg;
    std::uint32_t segBase = 0;
    std::uint32_t batchStart = 0;
    std::vector<lzx::Run> runs;

    std::vector<std::uint32_t> head; // position + 1 of the latest string per hash, 0: none
    std::vector<std::uint32_t> chain;
    std::uint32_t R[3] = {1, 1, 1};
    std::uint8_t prevMain[lzx::kMaxMainSymbols] = {};
    std::uint8_t prevLength[lzx::kLengthSymbols] = {};
    bool headerDue = true;
    std::vector<lzx::Token> tokens;
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    std::uint32_t lastHead = kNone; // where the latest picture's head starts
    // Picture heads of the pending batch that are stored: they still go into the hash chains,
    // so that the next picture's head finds them.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> storedHeads;

    // The price of symbols in 1/16 bits, from the codes of the latest block: text changes
    // little from one block to the next, so they predict what a literal or a match will cost.
    std::uint16_t mainCost[lzx::kMaxMainSymbols];
    std::uint16_t lengthCost[lzx::kLengthSymbols];
    int literalCost = 6 * 16;
    int matchScore(unsigned length, unsigned slot, unsigned extra) const {
        const unsigned header = std::min(length - 2, lzx::kPrimaryLengths);
        int cost = mainCost[lzx::kNumChars + slot * 8 + header] + int(extra) * 16;
        if (length - 2 >= lzx::kPrimaryLengths)
            cost += lengthCost[length - 2 - lzx::kPrimaryLengths];
        return int(length) * literalCost - cost;
    }
    void updateCosts(const std::uint32_t* mainFreq, const std::uint8_t* mainLens,
                     const std::uint8_t* lengthLens);

    std::uint32_t pendingBytes() const { return segBase + std::uint32_t(seg.size()) - batchStart; }
    std::uint32_t segEnd() const { return segBase + std::uint32_t(seg.size()); }
    const std::uint8_t* at(std::uint32_t pos) const { return seg.data() + (pos - segBase); }

    bool headWorthCoding(const std::uint8_t* data, std::size_t size) const;
    void startBatch();
    lzx::Compressed compress(const lzx::Interval& interval);
    void append(const std::uint8_t* data, std::uint32_t size, bool compressible);
    void encodeBatch();
    void normaliseRuns();
    void tokenize(std::uint32_t start, std::uint32_t end);
    lzx::Match findMatch(std::uint32_t pos, unsigned limit);
    void insert(std::uint32_t pos);
    void pushLiteral(std::uint32_t pos);
    void pushMatch(const lzx::Match& m);
    void emitVerbatim(std::uint32_t start, std::uint32_t end);
    void emitStored(std::uint32_t start, std::uint32_t end);
    void frameEnded();
};

} // namespace kvx::chm
