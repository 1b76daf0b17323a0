// LZX match finding: hash chains over the bytes since the reset point, greedy parsing with one
// step of lazy evaluation, priced with the codes of the latest block.
#include "chm/lzx_internal.h"

#include <cstring>

namespace kvx::chm {

using namespace lzx;

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
            for (std::uint32_t q = pos + 1; q < std::min(matchEnd, pos + 1 + kInsertInside); ++q)
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
            for (std::uint32_t q = pos + 1; q < pos + std::min(current.length, 1 + kInsertInside);
                 ++q)
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

} // namespace kvx::chm
