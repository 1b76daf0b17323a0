// Our LZX encoder's streams, decoded by libmspack's decoder (the one the viewer reads with) and
// chmlib's, each from the start and from every reset point, as a reader seeks through the
// reset table. 7-Zip's decoder reads them in the help-file round trips.

#include "chm/lzx_encoder.h"
#include "support/chm_readers.h"
#include "support/chm_sample.h"

#include <gtest/gtest.h>

#include <lzx.h>

#include <cctype>

// libmspack's public header only offers whole containers; its LZX decoder is reached through
// the entry points the static library exports, declared here as libmspack 0.11 defines them.
extern "C" {
struct lzxd_stream;
lzxd_stream* lzxd_init(mspack_system* system, mspack_file* input, mspack_file* output,
                       int window_bits, int reset_interval, int input_buffer_size,
                       off_t output_length, char is_delta);
int lzxd_decompress(lzxd_stream* lzx, off_t out_bytes);
void lzxd_free(lzxd_stream* lzx);
}

namespace {

using kvx::chm::LzxEncoder;
using kvx::chm::LzxOptions;
using kvxtest::randomBytes;

constexpr std::size_t kFrame = LzxEncoder::kFrameSize;

struct Encoded {
    LzxOptions options;
    std::string input;
    std::string stream;                      // with the spare word at the end
    std::vector<std::uint64_t> frameOffsets; // one more than the frames
};

struct Decoded {
    std::string error; // empty when decoded
    std::string bytes;
};

// `frames` frames from frame `first` (a reset point).
Decoded decodeWithLibmspack(const Encoded& e, std::size_t first, std::size_t frames) {
    const std::string from = e.stream.substr(e.frameOffsets[first]);
    kvxtest::MspackMemory mem(from);
    mspack_file* input = mem.sys.open(&mem.sys, "in", MSPACK_SYS_OPEN_READ);
    mspack_file* output = mem.sys.open(&mem.sys, "out", MSPACK_SYS_OPEN_WRITE);
    const off_t length = off_t(frames * kFrame);
    lzxd_stream* lzx = lzxd_init(&mem.sys, input, output, e.options.windowBits,
                                 int(e.options.resetIntervalFrames), 4096, length, 0);
    const int err = lzx ? lzxd_decompress(lzx, length) : MSPACK_ERR_NOMEMORY;
    if (lzx)
        lzxd_free(lzx);
    mem.sys.close(input);
    mem.sys.close(output);
    return {err == MSPACK_ERR_OK ? "" : "lzxd_decompress error " + std::to_string(err), mem.output};
}

Decoded decodeWithChmlib(const Encoded& e, std::size_t first, std::size_t frames) {
    Decoded d;
    LZXstate* state = LZXinit(e.options.windowBits);
    std::vector<unsigned char> out(kFrame);
    for (std::size_t f = first; f < first + frames && state && d.error.empty(); ++f) {
        if (f % e.options.resetIntervalFrames == 0)
            LZXreset(state);
        // chmlib reads a little past a frame's end before it notices; give it zeros there.
        const std::size_t begin = e.frameOffsets[f], size = e.frameOffsets[f + 1] - begin;
        std::string in = e.stream.substr(begin, size) + std::string(64, '\0');
        const int err = LZXdecompress(state, reinterpret_cast<unsigned char*>(in.data()),
                                      out.data(), int(size), int(kFrame));
        if (err != DECR_OK)
            d.error =
                "LZXdecompress error " + std::to_string(err) + " in frame " + std::to_string(f);
        d.bytes.append(out.begin(), out.end());
    }
    if (!state)
        d.error = "LZXinit failed";
    else
        LZXteardown(state);
    return d;
}

enum class Kind { Html, Random, Picture, Zeros };

struct Piece {
    Kind kind;
    std::size_t size;
};

struct Case {
    const char* name;
    std::vector<Piece> pieces;
    int windowBits = 16;
    std::uint32_t reset = 2;
};

std::vector<Piece> alternating(int pairs, std::size_t page, std::size_t picture) {
    std::vector<Piece> v;
    for (int i = 0; i < pairs; ++i) {
        v.push_back({Kind::Html, page + std::size_t(i) * 7});
        v.push_back({Kind::Picture, picture + std::size_t(i) * 13});
    }
    return v;
}

const Case kCases[] = {
    {"empty stream", {}},
    {"one byte", {{Kind::Html, 1}}},
    {"exactly one frame", {{Kind::Html, kFrame}}},
    {"one frame and a byte", {{Kind::Html, kFrame + 1}}},
    {"exactly one reset span", {{Kind::Html, 2 * kFrame}}},
    {"reset span and a byte", {{Kind::Html, 2 * kFrame + 1}}},
    {"random bytes coded", {{Kind::Random, 100000}}},
    {"picture stored", {{Kind::Picture, 100001}}},
    {"long runs, matches of 257",
     {{Kind::Zeros, 300000}, {Kind::Html, 5000}, {Kind::Zeros, 70001}}},
    {"pages between pictures", alternating(12, 1537, 23001)},
    {"short pieces",
     {{Kind::Html, 10},
      {Kind::Picture, 3},
      {Kind::Html, 700},
      {Kind::Picture, 300},
      {Kind::Picture, 5001},
      {Kind::Html, 33},
      {Kind::Picture, 40001},
      {Kind::Html, 1},
      {Kind::Picture, 511},
      {Kind::Html, 65536}}},
    {"picture ends on a frame",
     {{Kind::Html, 999},
      {Kind::Picture, kFrame - 999},
      {Kind::Picture, 999},
      {Kind::Html, 2 * kFrame}}},
    {"several megabytes", {{Kind::Html, 3 << 20}, {Kind::Picture, 1 << 20}}},
    {"small window, reset each frame", alternating(6, 3001, 9001), 15, 1},
    {"largest window, resets every three frames",
     {{Kind::Html, 500000}, {Kind::Picture, 30001}, {Kind::Html, 40001}},
     21,
     3},
};

// Cases print by name, not as bytes.
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// Pictures share their first 700 bytes, as JPEG tables repeat from one preview to the next.
Encoded encode(const Case& c, unsigned threads = 2) {
    Encoded e{{c.windowBits, c.reset}, {}, {}, {}};
    e.options.threads = threads;
    LzxEncoder enc(e.options);
    const std::string head = randomBytes(700, 0);
    unsigned seed = 1;
    for (const Piece& p : c.pieces) {
        std::string bytes = p.kind == Kind::Html    ? kvxtest::reportPages(p.size, seed++)
                            : p.kind == Kind::Zeros ? std::string(p.size, '\0')
                                                    : randomBytes(p.size, seed++);
        if (p.kind == Kind::Picture)
            bytes.replace(0, std::min(p.size, head.size()), head, 0, p.size);
        enc.write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                  p.kind != Kind::Picture);
        e.input += bytes;
    }
    const std::vector<std::uint8_t> stream = enc.finish();
    e.stream.assign(stream.begin(), stream.end());
    e.frameOffsets = enc.frameOffsets();
    return e;
}

// What a reader gets back from frame `first` on: the input, then zeros to the frame's end.
std::string expected(const Encoded& e, std::size_t first, std::size_t frames) {
    std::string s = first * kFrame < e.input.size() ? e.input.substr(first * kFrame) : "";
    s.resize(frames * kFrame, '\0');
    return s;
}

class LzxRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(LzxRoundTrip, bothDecodersGetTheBytesBackFromTheStartAndFromEveryResetPoint) {
    const Case& c = GetParam();
    const Encoded e = encode(c);
    // The content padded out to a whole reset interval.
    const std::size_t interval = c.reset * kFrame;
    const std::size_t frames = (e.input.size() + interval - 1) / interval * c.reset;
    ASSERT_EQ(e.frameOffsets.size(), frames + 1);
    for (auto decode : {decodeWithLibmspack, decodeWithChmlib}) {
        for (std::size_t f = 0; f < frames; f += c.reset) {
            const std::size_t n = f == 0 ? frames : std::min<std::size_t>(frames - f, 2 * c.reset);
            const Decoded d = decode(e, f, n);
            ASSERT_EQ(d.error, "") << "from frame " << f;
            ASSERT_TRUE(d.bytes == expected(e, f, n)) << "from frame " << f;
        }
    }
    // Intervals compressed on other threads, in another order, make the very same stream.
    for (unsigned threads : {1u, 8u}) {
        const Encoded other = encode(c, threads);
        EXPECT_TRUE(other.stream == e.stream) << threads << " threads";
        EXPECT_EQ(other.frameOffsets, e.frameOffsets) << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(Lzx, LzxRoundTrip, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// Pictures are stored, not coded: they must not grow by more than the block headers.
TEST(LzxSize, picturesHardlyGrow) {
    const Encoded pictures = encode({"pictures", {{Kind::Picture, 2 << 20}}});
    EXPECT_LT(double(pictures.stream.size()), 1.002 * double(pictures.input.size()));
}

} // namespace
