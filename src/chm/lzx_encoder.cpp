// LZX as the readers of compiled-help files decode it. The rules that matter to them:
// - bits go out most significant first, in 16-bit little-endian words;
// - every 32 KiB of output is a frame: no match crosses a frame's end, and the bitstream is
//   padded to a whole word there, so each frame starts on a word the reset table can point at;
// - at a reset point the reader forgets everything: it reads the one-bit E8 header again,
//   sets R0-R2 to 1 and code lengths to 0, so no block, match or tree delta crosses it;
// - readers decode whole frames, so the last frame is padded out with zeros, and the stream
//   ends with a spare zero word (see finish());
// - a stored block is followed by 1 to 16 bits of padding (a whole word when already aligned),
//   R0-R2 as three 32-bit values, the bytes, and one padding byte when their count is odd.
//   Readers skip that byte only when they read the next block header, so a stored block never
//   ends with an odd count on a frame boundary: it always starts at an even position.
// - every Huffman code sent is complete (readers refuse others), at most 16 bits long;
//   only the length tree may be empty.

#include "chm/lzx_encoder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kvx::chm {

namespace {

constexpr std::uint32_t kFrame = LzxEncoder::kFrameSize;
constexpr unsigned kMaxMatch = 257;
constexpr unsigned kNumChars = 256;
constexpr unsigned kPrimaryLengths = 7;
constexpr unsigned kLengthSymbols = 249;
constexpr unsigned kPretreeSymbols = 20;
constexpr unsigned kMaxMainSymbols = kNumChars + 50 * 8;
constexpr unsigned kNoSymbol = 0xFFFF;
constexpr unsigned kBlockVerbatim = 1;
constexpr unsigned kBlockStored = 3;

// Runs shorter than this are not worth a block of their own: a short picture run is coded with
// its neighbours, a short text run between pictures is stored. It also bounds the number of
// blocks, and so of trees, in a frame.
constexpr std::uint32_t kMinRun = 512;

// Match finder effort: chain links followed, and the length that ends the search (a match of
// that length is also taken without looking one byte further).
constexpr int kMaxChain = 128;
constexpr unsigned kNiceLength = 257;
constexpr unsigned kHashBits = 15;

int positionSlots(int windowBits) {
    static const int slots[] = {30, 32, 34, 36, 38, 42, 50};
    return slots[windowBits - 15];
}

unsigned extraBits(unsigned slot) {
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
const SlotTable kSlots;

// The position slot of a formatted offset (the distance plus 2).
unsigned slotOf(std::uint32_t formatted) {
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

// Huffman code lengths for `freq`, none longer than `maxBits`, always a complete code: one
// used symbol gets a partner. With `allowEmpty`, no used symbol gives no code at all.
void buildLengths(const std::uint32_t* freq, unsigned n, unsigned maxBits, bool allowEmpty,
                  std::uint8_t* lens) {
    std::fill(lens, lens + n, 0);
    std::vector<std::pair<std::uint32_t, unsigned>> leaves;
    for (unsigned s = 0; s < n; ++s)
        if (freq[s])
            leaves.emplace_back(freq[s], s);
    if (leaves.empty() && allowEmpty)
        return;
    if (leaves.size() < 2) {
        const unsigned s = leaves.empty() ? 0 : leaves[0].second;
        lens[s] = 1;
        lens[s == 0 ? 1 : 0] = 1;
        return;
    }
    const std::size_t m = leaves.size();
    std::vector<std::uint64_t> weight(2 * m - 1);
    std::vector<std::uint32_t> parent(2 * m - 1);
    std::vector<std::uint8_t> depth(2 * m - 1);
    for (;;) {
        std::sort(leaves.begin(), leaves.end());
        for (std::size_t i = 0; i < m; ++i)
            weight[i] = leaves[i].first;
        // Two queues: the sorted leaves and the merged nodes, which come out sorted too.
        std::size_t leaf = 0, node = m, next = m;
        auto takeSmallest = [&]() {
            if (leaf < m && (node >= next || weight[leaf] <= weight[node]))
                return leaf++;
            return node++;
        };
        for (; next < 2 * m - 1; ++next) {
            const std::size_t a = takeSmallest();
            const std::size_t b = takeSmallest();
            weight[next] = weight[a] + weight[b];
            parent[a] = parent[b] = static_cast<std::uint32_t>(next);
        }
        depth[2 * m - 2] = 0;
        unsigned longest = 0;
        for (std::size_t i = 2 * m - 2; i-- > 0;) {
            depth[i] = static_cast<std::uint8_t>(depth[parent[i]] + 1);
            longest = std::max<unsigned>(longest, depth[i]);
        }
        if (longest <= maxBits) {
            for (std::size_t i = 0; i < m; ++i)
                lens[leaves[i].second] = depth[i];
            return;
        }
        // Too deep: flatten the counts and build again.
        for (auto& l : leaves)
            l.first = (l.first >> 1) | 1;
    }
}

// Canonical codes: shorter codes first, equal lengths in symbol order.
void buildCodes(const std::uint8_t* lens, unsigned n, std::uint16_t* codes) {
    unsigned count[18] = {};
    for (unsigned s = 0; s < n; ++s)
        ++count[lens[s]];
    count[0] = 0;
    unsigned next[18] = {};
    unsigned code = 0;
    for (unsigned bits = 1; bits <= 17; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    for (unsigned s = 0; s < n; ++s)
        codes[s] = lens[s] ? static_cast<std::uint16_t>(next[lens[s]]++) : 0;
}

// Sends code lengths first..last as LZX does: each as a change from the previous block's length
// (mod 17), runs of zeros and runs of equal lengths shortened, all coded with a small tree of
// its own sent first.
void writeLengths(BitWriter& bits, const std::uint8_t* previous, const std::uint8_t* lens,
                  unsigned first, unsigned last) {
    struct Item {
        std::uint8_t symbol;
        std::uint8_t extraCount;
        std::uint8_t extra;
        std::uint8_t delta; // for symbol 19: the change that follows
    };
    std::vector<Item> items;
    items.reserve(last - first);
    auto delta = [&](unsigned x) {
        return static_cast<std::uint8_t>((previous[x] + 17 - lens[x]) % 17);
    };
    for (unsigned x = first; x < last;) {
        unsigned run = 1;
        while (x + run < last && lens[x + run] == lens[x])
            ++run;
        if (lens[x] == 0 && run >= 20) {
            run = std::min(run, 51u);
            items.push_back({18, 5, static_cast<std::uint8_t>(run - 20), 0});
        } else if (lens[x] == 0 && run >= 4) {
            run = std::min(run, 19u);
            items.push_back({17, 4, static_cast<std::uint8_t>(run - 4), 0});
        } else if (run >= 4) {
            run = std::min(run, 5u);
            items.push_back({19, 1, static_cast<std::uint8_t>(run - 4), delta(x)});
        } else {
            run = 1;
            items.push_back({delta(x), 0, 0, 0});
        }
        x += run;
    }
    std::uint32_t freq[kPretreeSymbols] = {};
    for (const Item& it : items) {
        ++freq[it.symbol];
        if (it.symbol == 19)
            ++freq[it.delta];
    }
    std::uint8_t plens[kPretreeSymbols];
    std::uint16_t pcodes[kPretreeSymbols];
    buildLengths(freq, kPretreeSymbols, 15, false, plens); // lengths travel in 4 bits
    buildCodes(plens, kPretreeSymbols, pcodes);
    for (unsigned s = 0; s < kPretreeSymbols; ++s)
        bits.put(plens[s], 4);
    for (const Item& it : items) {
        bits.put(pcodes[it.symbol], plens[it.symbol]);
        if (it.extraCount)
            bits.put(it.extra, it.extraCount);
        if (it.symbol == 19)
            bits.put(pcodes[it.delta], plens[it.delta]);
    }
}

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

} // namespace

struct LzxEncoder::State {
    explicit State(LzxOptions o) : options(o), bits(out) {}

    LzxOptions options;
    std::uint32_t windowSize = 0;
    std::uint32_t maxDistance = 0;
    unsigned mainSymbols = 0;
    std::uint32_t batchFrames = 1;

    std::vector<std::uint8_t> out;
    BitWriter bits;
    std::vector<std::uint64_t> frameOffsets;
    std::uint64_t written = 0;
    std::uint64_t framesDone = 0;
    bool finished = false;

    // The bytes since the last reset point (at most a window of them before the pending
    // batch). Positions count from the reset point; seg[0] is position segBase.
    std::vector<std::uint8_t> seg;
    std::uint32_t segBase = 0;
    std::uint32_t batchStart = 0;
    std::vector<Run> runs;

    std::vector<std::uint32_t> head; // position + 1 of the latest string per hash, 0: none
    std::vector<std::uint32_t> chain;
    std::uint32_t R[3] = {1, 1, 1};
    std::uint8_t prevMain[kMaxMainSymbols] = {};
    std::uint8_t prevLength[kLengthSymbols] = {};
    bool headerDue = true;
    std::vector<Token> tokens;
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    std::uint32_t lastHead = kNone; // where the latest picture's head starts
    // Picture heads of the pending batch that are stored: they still go into the hash chains,
    // so that the next picture's head finds them.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> storedHeads;

    // The price of symbols in 1/16 bits, from the codes of the latest block: text changes
    // little from one block to the next, so they predict what a literal or a match will cost.
    std::uint16_t mainCost[kMaxMainSymbols];
    std::uint16_t lengthCost[kLengthSymbols];
    int literalCost = 6 * 16;
    int matchScore(unsigned length, unsigned slot, unsigned extra) const {
        const unsigned header = std::min(length - 2, kPrimaryLengths);
        int cost = mainCost[kNumChars + slot * 8 + header] + int(extra) * 16;
        if (length - 2 >= kPrimaryLengths)
            cost += lengthCost[length - 2 - kPrimaryLengths];
        return int(length) * literalCost - cost;
    }
    void updateCosts(const std::uint32_t* mainFreq, const std::uint8_t* mainLens,
                     const std::uint8_t* lengthLens);

    std::uint32_t pendingBytes() const { return segBase + std::uint32_t(seg.size()) - batchStart; }
    std::uint32_t segEnd() const { return segBase + std::uint32_t(seg.size()); }
    const std::uint8_t* at(std::uint32_t pos) const { return seg.data() + (pos - segBase); }

    bool headWorthCoding(const std::uint8_t* data, std::size_t size) const;
    void startBatch();
    void append(const std::uint8_t* data, std::uint32_t size, bool compressible);
    void encodeBatch();
    void normaliseRuns();
    void tokenize(std::uint32_t start, std::uint32_t end);
    Match findMatch(std::uint32_t pos, unsigned limit);
    void insert(std::uint32_t pos);
    void pushLiteral(std::uint32_t pos);
    void pushMatch(const Match& m);
    void emitVerbatim(std::uint32_t start, std::uint32_t end);
    void emitStored(std::uint32_t start, std::uint32_t end);
    void frameEnded();
};

namespace {

unsigned hash3(const std::uint8_t* p) {
    const std::uint32_t v = p[0] | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16);
    return (v * 0x9E3779B1u) >> (32 - kHashBits);
}

unsigned matchLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit) {
    unsigned n = 0;
    while (n + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            return n + static_cast<unsigned>(__builtin_ctzll(x ^ y)) / 8;
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

} // namespace

void LzxEncoder::State::startBatch() {
    if (framesDone % options.resetIntervalFrames == 0) {
        seg.clear();
        segBase = 0;
        batchStart = 0;
        std::fill(head.begin(), head.end(), 0);
        R[0] = R[1] = R[2] = 1;
        std::fill(std::begin(prevMain), std::end(prevMain), 0);
        std::fill(std::begin(prevLength), std::end(prevLength), 0);
        headerDue = true;
        lastHead = kNone;
    } else if (seg.size() > windowSize) {
        // Only a window of history can be reached.
        const std::uint32_t drop = std::uint32_t(seg.size()) - windowSize;
        seg.erase(seg.begin(), seg.begin() + drop);
        segBase += drop;
    }
    batchStart = segEnd();
    runs.clear();
    storedHeads.clear();
}

// A picture's head is coded when it joins the text before it in one block, or when it repeats
// much of the previous picture's head; otherwise a block of its own would cost more than it
// saves.
bool LzxEncoder::State::headWorthCoding(const std::uint8_t* data, std::size_t size) const {
    if (pendingBytes() > 0 && !runs.empty() && runs.back().compressible)
        return true;
    const bool resetDue = pendingBytes() == 0 && framesDone % options.resetIntervalFrames == 0;
    const std::uint32_t here = segEnd();
    if (resetDue || lastHead == kNone || lastHead < segBase || here - lastHead > maxDistance)
        return false;
    const std::size_t n = std::min<std::size_t>(size, here - lastHead);
    std::size_t same = 0;
    for (std::size_t i = 0; i < n; ++i)
        same += data[i] == *at(lastHead + std::uint32_t(i));
    return same * 4 >= size;
}

void LzxEncoder::State::append(const std::uint8_t* data, std::uint32_t size, bool compressible) {
    const std::uint32_t start = segEnd();
    seg.insert(seg.end(), data, data + size);
    if (!runs.empty() && runs.back().compressible == compressible)
        runs.back().end = segEnd();
    else
        runs.push_back({start, segEnd(), compressible});
}

void LzxEncoder::State::normaliseRuns() {
    auto merge = [this]() {
        std::vector<Run> merged;
        for (const Run& r : runs) {
            if (r.end == r.start)
                continue;
            if (!merged.empty() && merged.back().compressible == r.compressible)
                merged.back().end = r.end;
            else
                merged.push_back(r);
        }
        runs.swap(merged);
    };
    for (Run& r : runs)
        if (!r.compressible && r.end - r.start < kMinRun)
            r.compressible = true;
    merge();
    for (Run& r : runs)
        if (r.compressible && r.end - r.start < kMinRun && runs.size() > 1)
            r.compressible = false;
    merge();
    // A stored block starts at an even position: the text before it takes one more byte.
    for (std::size_t i = 1; i < runs.size(); ++i) {
        if (!runs[i].compressible && runs[i].start % 2) {
            ++runs[i].start;
            ++runs[i - 1].end;
        }
    }
    merge();
}

void LzxEncoder::State::insert(std::uint32_t pos) {
    if (pos + 3 > segEnd())
        return;
    const unsigned h = hash3(at(pos));
    chain[pos & (windowSize - 1)] = head[h];
    head[h] = pos + 1;
}

Match LzxEncoder::State::findMatch(std::uint32_t pos, unsigned limit) {
    Match best;
    const std::uint8_t* p = at(pos);
    for (int r = 0; r < 3; ++r) {
        const std::uint32_t d = R[r];
        if (d > pos || pos - d < segBase)
            continue;
        const unsigned len = matchLength(p, p - d, limit);
        if (len >= 2) {
            const int score = matchScore(len, unsigned(r), 0);
            if (score > best.score)
                best = {len, d, r, score};
        }
    }
    if (pos + 3 > segEnd())
        return best;
    const unsigned h = hash3(p);
    std::uint32_t candidate = head[h];
    chain[pos & (windowSize - 1)] = candidate;
    head[h] = pos + 1;
    if (limit < 3 || best.length >= kNiceLength)
        return best;

    unsigned bestLen = 2;
    std::uint32_t bestDist = 0;
    for (int steps = kMaxChain; candidate && steps > 0; --steps) {
        const std::uint32_t cpos = candidate - 1;
        const std::uint32_t d = pos - cpos;
        if (d > maxDistance || cpos < segBase)
            break;
        const std::uint8_t* q = p - d;
        if (q[bestLen] == p[bestLen] && q[0] == p[0] && q[1] == p[1]) {
            const unsigned len = matchLength(p, q, limit);
            if (len > bestLen) {
                bestLen = len;
                bestDist = d;
                if (len >= kNiceLength || len == limit)
                    break;
            }
        }
        const std::uint32_t next = chain[cpos & (windowSize - 1)];
        if (next >= candidate)
            break; // overwritten by a newer string: the chain ends here
        candidate = next;
    }
    if (bestDist) {
        const unsigned slot = slotOf(bestDist + 2);
        const int score = matchScore(bestLen, slot, extraBits(slot));
        if (score > best.score)
            best = {bestLen, bestDist, -1, score};
    }
    return best;
}

void LzxEncoder::State::pushLiteral(std::uint32_t pos) {
    tokens.push_back({*at(pos), kNoSymbol, 1, 0, 0});
}

void LzxEncoder::State::pushMatch(const Match& m) {
    unsigned slot;
    std::uint32_t extra = 0;
    unsigned extraCount = 0;
    if (m.distance == R[0]) {
        slot = 0;
    } else if (m.distance == R[1]) {
        slot = 1;
        std::swap(R[0], R[1]);
    } else if (m.distance == R[2]) {
        slot = 2;
        std::swap(R[0], R[2]);
    } else {
        const std::uint32_t formatted = m.distance + 2;
        slot = slotOf(formatted);
        extraCount = extraBits(slot);
        extra = formatted - kSlots.base[slot];
        R[2] = R[1];
        R[1] = R[0];
        R[0] = m.distance;
    }
    const unsigned header = std::min(m.length - 2, kPrimaryLengths);
    const unsigned lengthSymbol =
        m.length - 2 >= kPrimaryLengths ? m.length - 2 - kPrimaryLengths : kNoSymbol;
    tokens.push_back({static_cast<std::uint16_t>(kNumChars + slot * 8 + header),
                      static_cast<std::uint16_t>(lengthSymbol),
                      static_cast<std::uint16_t>(m.length), static_cast<std::uint8_t>(extraCount),
                      extra});
}

// Greedy parsing with one step of lazy evaluation: a match is put off by one byte when the
// next position has a better one.
void LzxEncoder::State::tokenize(std::uint32_t start, std::uint32_t end) {
    tokens.clear();
    Match previous;
    bool havePrevious = false;
    std::uint32_t pos = start;
    while (pos < end) {
        const std::uint32_t frameEnd = (pos / kFrame + 1) * kFrame;
        const unsigned limit = std::min({kMaxMatch, end - pos, frameEnd - pos});
        Match current;
        if (limit >= 2)
            current = findMatch(pos, limit);
        else
            insert(pos);
        if (havePrevious && previous.score >= current.score) {
            pushMatch(previous);
            const std::uint32_t matchEnd = pos - 1 + previous.length;
            for (std::uint32_t q = pos + 1; q < matchEnd; ++q)
                insert(q);
            pos = matchEnd;
            havePrevious = false;
            continue;
        }
        if (havePrevious)
            pushLiteral(pos - 1);
        havePrevious = false;
        if (current.length == 0) {
            pushLiteral(pos);
            ++pos;
        } else if (current.length >= kNiceLength) {
            pushMatch(current);
            for (std::uint32_t q = pos + 1; q < pos + current.length; ++q)
                insert(q);
            pos += current.length;
        } else {
            previous = current;
            havePrevious = true;
            ++pos;
        }
    }
    if (havePrevious)
        pushMatch(previous);
}

void LzxEncoder::State::frameEnded() {
    bits.alignWord();
    ++framesDone;
}

void LzxEncoder::State::updateCosts(const std::uint32_t* mainFreq, const std::uint8_t* mainLens,
                                    const std::uint8_t* lengthLens) {
    // A symbol the latest block did not use is taken as rare.
    for (unsigned s = 0; s < kMaxMainSymbols; ++s)
        mainCost[s] = std::uint16_t((mainLens[s] ? mainLens[s] : 14) * 16);
    for (unsigned s = 0; s < kLengthSymbols; ++s)
        lengthCost[s] = std::uint16_t((lengthLens[s] ? lengthLens[s] : 12) * 16);
    std::uint64_t bits = 0, count = 0;
    for (unsigned s = 0; s < kNumChars; ++s) {
        bits += std::uint64_t(mainFreq[s]) * mainLens[s];
        count += mainFreq[s];
    }
    literalCost = count ? int(bits * 16 / count) : 8 * 16;
}

void LzxEncoder::State::emitVerbatim(std::uint32_t start, std::uint32_t end) {
    std::uint32_t mainFreq[kMaxMainSymbols] = {};
    std::uint32_t lengthFreq[kLengthSymbols] = {};
    for (const Token& t : tokens) {
        ++mainFreq[t.main];
        if (t.length != kNoSymbol)
            ++lengthFreq[t.length];
    }
    std::uint8_t mainLens[kMaxMainSymbols] = {};
    std::uint8_t lengthLens[kLengthSymbols];
    std::uint16_t mainCodes[kMaxMainSymbols];
    std::uint16_t lengthCodes[kLengthSymbols];
    buildLengths(mainFreq, mainSymbols, 16, false, mainLens);
    buildLengths(lengthFreq, kLengthSymbols, 16, true, lengthLens);
    buildCodes(mainLens, mainSymbols, mainCodes);
    buildCodes(lengthLens, kLengthSymbols, lengthCodes);

    const std::uint32_t size = end - start;
    bits.put(kBlockVerbatim, 3);
    bits.put(size >> 8, 16);
    bits.put(size & 0xFF, 8);
    writeLengths(bits, prevMain, mainLens, 0, kNumChars);
    writeLengths(bits, prevMain, mainLens, kNumChars, mainSymbols);
    writeLengths(bits, prevLength, lengthLens, 0, kLengthSymbols);
    updateCosts(mainFreq, mainLens, lengthLens);
    std::copy(mainLens, mainLens + mainSymbols, prevMain);
    std::copy(lengthLens, lengthLens + kLengthSymbols, prevLength);

    std::uint32_t pos = start;
    std::uint32_t frameEnd = (pos / kFrame + 1) * kFrame;
    for (const Token& t : tokens) {
        bits.put(mainCodes[t.main], mainLens[t.main]);
        if (t.length != kNoSymbol)
            bits.put(lengthCodes[t.length], lengthLens[t.length]);
        if (t.extraCount)
            bits.put(t.extra, t.extraCount);
        pos += t.span;
        if (pos == frameEnd) {
            frameEnded();
            if (pos != segEnd())
                frameOffsets.push_back(out.size());
            frameEnd += kFrame;
        }
    }
}

void LzxEncoder::State::emitStored(std::uint32_t start, std::uint32_t end) {
    const std::uint32_t size = end - start;
    bits.put(kBlockStored, 3);
    bits.put(size >> 8, 16);
    bits.put(size & 0xFF, 8);
    const unsigned into = bits.bitsIntoWord();
    bits.put(0, 16 - into); // a whole word when already aligned
    bits.alignWord();
    for (std::uint32_t r : R)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(r >> (8 * i)));
    std::uint32_t pos = start;
    while (pos < end) {
        const std::uint32_t frameEnd = (pos / kFrame + 1) * kFrame;
        const std::uint32_t stop = std::min(end, frameEnd);
        out.insert(out.end(), at(pos), at(pos) + (stop - pos));
        pos = stop;
        if (pos == frameEnd) {
            frameEnded();
            if (pos != segEnd())
                frameOffsets.push_back(out.size());
        }
    }
    if (size % 2)
        out.push_back(0);
}

void LzxEncoder::State::encodeBatch() {
    normaliseRuns();
    frameOffsets.push_back(out.size());
    if (headerDue) {
        bits.put(0, 1); // no E8 translation
        headerDue = false;
    }
    for (const Run& r : runs) {
        if (r.compressible) {
            tokenize(r.start, r.end);
            emitVerbatim(r.start, r.end);
        } else {
            for (const auto& [from, to] : storedHeads)
                for (std::uint32_t pos = std::max(from, r.start); pos < std::min(to, r.end); ++pos)
                    insert(pos);
            emitStored(r.start, r.end);
        }
    }
    runs.clear();
    batchStart = segEnd();
}

LzxEncoder::LzxEncoder(LzxOptions options) : state_(nullptr) {
    if (options.windowBits < 15 || options.windowBits > 21)
        throw std::invalid_argument("LZX window must be 2^15 to 2^21 bytes");
    if (options.resetIntervalFrames < 1 || options.resetIntervalFrames > 65536)
        throw std::invalid_argument("LZX reset interval must be 1 to 65536 frames");
    state_ = new State(options);
    State& s = *state_;
    s.windowSize = 1u << options.windowBits;
    s.maxDistance = s.windowSize - 3;
    s.mainSymbols = kNumChars + 8 * unsigned(positionSlots(options.windowBits));
    // Blocks may span the frames of a batch; a batch never spans a reset point.
    s.batchFrames = options.resetIntervalFrames % 2 == 0 ? 2 : 1;
    s.head.assign(std::size_t(1) << kHashBits, 0);
    s.chain.assign(s.windowSize, 0);
    s.out.reserve(1 << 16);
    std::fill(std::begin(s.mainCost), std::end(s.mainCost), std::uint16_t(9 * 16));
    std::fill(std::begin(s.lengthCost), std::end(s.lengthCost), std::uint16_t(5 * 16));
}

LzxEncoder::~LzxEncoder() {
    delete state_;
}

void LzxEncoder::write(const std::uint8_t* data, std::size_t size, bool compressible) {
    if (state_->finished)
        throw std::logic_error("LZX stream already finished");
    State& s = *state_;
    if (!compressible) {
        const std::size_t head = std::min<std::size_t>(size, s.options.codedHeadBytes);
        const bool coded = s.headWorthCoding(data, head);
        writeRun(data, head, coded);
        // A head cut by the end of a batch is left alone.
        const bool whole = s.segEnd() >= s.batchStart + head;
        s.lastHead = whole ? s.segEnd() - std::uint32_t(head) : State::kNone;
        if (whole && !coded)
            s.storedHeads.emplace_back(s.lastHead, s.segEnd());
        data += head;
        size -= head;
    }
    writeRun(data, size, compressible);
}

void LzxEncoder::writeRun(const std::uint8_t* data, std::size_t size, bool compressible) {
    State& s = *state_;
    const std::uint32_t batchBytes = s.batchFrames * kFrame;
    while (size > 0) {
        if (s.pendingBytes() == 0)
            s.startBatch();
        const std::uint32_t n =
            std::uint32_t(std::min<std::size_t>(size, batchBytes - s.pendingBytes()));
        s.append(data, n, compressible);
        data += n;
        size -= n;
        s.written += n;
        if (s.pendingBytes() == batchBytes)
            s.encodeBatch();
    }
}

std::vector<std::uint8_t> LzxEncoder::finish() {
    State& s = *state_;
    if (s.finished)
        throw std::logic_error("LZX stream already finished");
    if (s.pendingBytes() > 0) {
        static const std::uint8_t zeros[64] = {};
        std::uint32_t pad = (kFrame - s.pendingBytes() % kFrame) % kFrame;
        while (pad > 0) {
            const std::uint32_t n = std::min<std::uint32_t>(pad, sizeof zeros);
            s.append(zeros, n, true);
            pad -= n;
        }
        s.encodeBatch();
    }
    if (s.framesDone > 0) {
        // Asked for bytes up to the very end of a stream whose last frame closes a reset
        // interval, libmspack reads the next frame's header and aligns before it stops; one
        // more word keeps it from running out of input there.
        s.out.push_back(0);
        s.out.push_back(0);
    }
    s.frameOffsets.push_back(s.out.size());
    s.finished = true;
    return std::move(s.out);
}

const std::vector<std::uint64_t>& LzxEncoder::frameOffsets() const {
    return state_->frameOffsets;
}

std::uint64_t LzxEncoder::uncompressedSize() const {
    return state_->written;
}

const LzxOptions& LzxEncoder::options() const {
    return state_->options;
}

} // namespace kvx::chm
