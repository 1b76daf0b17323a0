// LZX block writing: the runs of a batch cut into verbatim blocks (tokens coded with Huffman
// trees sent as deltas from the previous block's) and stored blocks, frame ends marked.
#include "chm/lzx_internal.h"

namespace kvx::chm {

using namespace lzx;

namespace {

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

} // namespace

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
                frameOffsets.push_back(outBase + out.size());
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
                frameOffsets.push_back(outBase + out.size());
        }
    }
    if (size % 2)
        out.push_back(0);
}

void LzxEncoder::State::encodeBatch() {
    normaliseRuns();
    frameOffsets.push_back(outBase + out.size());
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
    // A batch ends on a frame boundary, so no bits are pending.
    if (sink && !out.empty()) {
        sink(out.data(), out.size());
        outBase += out.size();
        out.clear();
    }
}

} // namespace kvx::chm
