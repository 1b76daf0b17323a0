// LZX as the readers of compiled-help files decode it. The rules that matter to them:
// - bits go out most significant first, in 16-bit little-endian words;
// - every 32 KiB of output is a frame: no match crosses a frame's end, and the bitstream is
//   padded to a whole word there, so each frame starts on a word the reset table can point at;
// - at a reset point the reader forgets everything: it reads the one-bit E8 header again,
//   sets R0-R2 to 1 and code lengths to 0, so no block, match or tree delta crosses it;
// - readers decode whole frames, and a request that ends on a frame boundary decodes the next
//   frame as well, so the stream is padded out with zeros to a reset point and followed by a
//   spare zero word (see finish());
// - a stored block is followed by 1 to 16 bits of padding (a whole word when already aligned),
//   R0-R2 as three 32-bit values, the bytes, and one padding byte when their count is odd.
//   Readers skip that byte only when they read the next block header, so a stored block never
//   ends with an odd count on a frame boundary: it always starts at an even position.
// - every Huffman code sent is complete (readers refuse others), at most 16 bits long;
//   only the length tree may be empty.

#include "chm/lzx_internal.h"

#include "chm/ordered_pool.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace kvx::chm {

using namespace lzx;

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
        // Prices start afresh too, so that an interval compresses the same on any thread.
        std::fill(std::begin(mainCost), std::end(mainCost), std::uint16_t(9 * 16));
        std::fill(std::begin(lengthCost), std::end(lengthCost), std::uint16_t(5 * 16));
        literalCost = 6 * 16;
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

void LzxEncoder::State::append(const std::uint8_t* data, std::uint32_t size, bool compressible) {
    const std::uint32_t start = segEnd();
    seg.insert(seg.end(), data, data + size);
    if (!runs.empty() && runs.back().compressible == compressible)
        runs.back().end = segEnd();
    else
        runs.push_back({start, segEnd(), compressible});
}

Compressed LzxEncoder::State::compress(const Interval& interval) {
    framesDone = 0;
    outBase = 0;
    out.clear();
    frameOffsets.clear();
    for (const Batch& batch : interval.batches) {
        startBatch();
        const std::uint32_t from = segEnd();
        const auto bytes = interval.bytes.begin() + from;
        seg.insert(seg.end(), bytes, bytes + batchFrames * kFrame);
        runs = batch.runs;
        storedHeads = batch.storedHeads;
        encodeBatch();
    }
    Compressed c;
    c.stream.swap(out);
    c.frameOffsets.swap(frameOffsets);
    return c;
}

// The intervals given to the pool and not yet passed on, at most a few a thread; the states
// that compress them are kept for the next ones.
struct LzxEncoder::Intervals {
    Intervals(const LzxOptions& o, unsigned threads)
        : options(o), window(threads > 1 ? 3 * threads : 1), pool(threads) {}

    // `matches`: the state compresses, and so needs the match finder's tables.
    static std::unique_ptr<State> make(const LzxOptions& options, bool matches) {
        auto s = std::make_unique<State>(options);
        s->windowSize = 1u << options.windowBits;
        s->maxDistance = s->windowSize - 3;
        s->mainSymbols = kNumChars + 8 * unsigned(positionSlots(options.windowBits));
        // Blocks may span the frames of a batch; a batch never spans a reset point.
        s->batchFrames = options.resetIntervalFrames % 2 == 0 ? 2 : 1;
        if (matches) {
            s->head.assign(std::size_t(1) << kHashBits, 0);
            s->chain.assign(s->windowSize, 0);
            s->out.reserve(std::size_t(options.resetIntervalFrames) * kFrame + 4096);
        }
        return s;
    }

    std::unique_ptr<State> borrow() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!spare.empty()) {
                std::unique_ptr<State> s = std::move(spare.back());
                spare.pop_back();
                return s;
            }
        }
        return make(options, true);
    }
    void giveBack(std::unique_ptr<State> s) {
        std::lock_guard<std::mutex> lock(mutex);
        spare.push_back(std::move(s));
    }

    const LzxOptions options;
    const std::size_t window;
    Interval next; // the one the writes are filling
    std::mutex mutex;
    std::vector<std::unique_ptr<State>> spare;
    OrderedPool<Compressed> pool; // last: gone before the states its jobs give back
};

LzxEncoder::LzxEncoder(LzxOptions options) : state_(nullptr), intervals_(nullptr) {
    if (options.windowBits < 15 || options.windowBits > 21)
        throw std::invalid_argument("LZX window must be 2^15 to 2^21 bytes");
    // The stream is padded out to a reset point, so a long interval costs at its end.
    if (options.resetIntervalFrames < 1 || options.resetIntervalFrames > 64)
        throw std::invalid_argument("LZX reset interval must be 1 to 64 frames");
    unsigned threads = options.threads;
    if (threads == 0)
        threads = std::max(2u, std::thread::hardware_concurrency());
    state_ = Intervals::make(options, false).release();
    intervals_ = new Intervals(options, threads);
}

LzxEncoder::~LzxEncoder() {
    delete intervals_;
    delete state_;
}

void LzxEncoder::write(const std::uint8_t* data, std::size_t size, bool compressible) {
    if (state_->finished)
        throw std::logic_error("LZX stream already finished");
    State& s = *state_;
    s.written += size;
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
        intervals_->next.bytes.insert(intervals_->next.bytes.end(), data, data + n);
        data += n;
        size -= n;
        if (s.pendingBytes() == batchBytes)
            batchFull();
    }
}

// The batch's runs go with the interval; a whole interval goes to the pool.
void LzxEncoder::batchFull() {
    State& s = *state_;
    Intervals& in = *intervals_;
    in.next.batches.push_back({std::move(s.runs), std::move(s.storedHeads)});
    s.runs.clear();
    s.storedHeads.clear();
    s.batchStart = s.segEnd();
    s.framesDone += s.batchFrames;
    if (s.framesDone % s.options.resetIntervalFrames != 0)
        return;
    deliver(false);
    while (in.pool.pending() >= in.window)
        deliver(true);
    in.pool.submit([&in, interval = std::move(in.next)]() {
        std::unique_ptr<State> worker = in.borrow();
        Compressed c = worker->compress(interval);
        in.giveBack(std::move(worker));
        return c;
    });
    in.next = Interval();
    in.next.bytes.reserve(std::size_t(s.options.resetIntervalFrames) * kFrame);
}

// Passes on the oldest compressed interval, waiting for it (`wait`), or every one done.
void LzxEncoder::deliver(bool wait) {
    State& s = *state_;
    OrderedPool<Compressed>& pool = intervals_->pool;
    while (pool.pending() > 0 && (wait || pool.ready())) {
        const Compressed c = pool.take();
        const std::uint64_t base = s.outBase + s.out.size();
        for (std::uint64_t f : c.frameOffsets)
            s.frameOffsets.push_back(base + f);
        if (s.sink) {
            if (!c.stream.empty())
                s.sink(c.stream.data(), c.stream.size());
            s.outBase += c.stream.size();
        } else {
            s.out.insert(s.out.end(), c.stream.begin(), c.stream.end());
        }
        if (wait)
            return;
    }
}

std::vector<std::uint8_t> LzxEncoder::finish() {
    State& s = *state_;
    if (s.finished)
        throw std::logic_error("LZX stream already finished");
    // Zeros up to the next reset point: a reader that finishes a request on a frame boundary
    // decodes the next frame too, and libmspack takes the content to reach the reset point.
    const std::uint64_t interval = std::uint64_t(s.options.resetIntervalFrames) * kFrame;
    std::uint64_t pad = (interval - s.written % interval) % interval;
    static const std::uint8_t zeros[4096] = {};
    while (pad > 0) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(pad, sizeof zeros));
        writeRun(zeros, n, true);
        pad -= n;
    }
    while (intervals_->pool.pending() > 0)
        deliver(true);
    s.frameOffsets.push_back(s.outBase + s.out.size());
    if (s.framesDone > 0) {
        // Asked for bytes up to the very end of the stream, libmspack reads the header of the
        // frame after it and aligns before it stops: it needs one more word of input there.
        s.out.push_back(0);
        s.out.push_back(0);
    }
    s.finished = true;
    if (s.sink) {
        if (!s.out.empty())
            s.sink(s.out.data(), s.out.size());
        s.outBase += s.out.size();
        s.out.clear();
    }
    return std::move(s.out);
}

std::uint64_t LzxEncoder::decodedSize() const {
    return std::uint64_t(state_->framesDone) * kFrame;
}

void LzxEncoder::setSink(Sink sink) {
    if (state_->finished || state_->written > 0)
        throw std::logic_error("the LZX sink is set before the first write");
    state_->sink = std::move(sink);
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
