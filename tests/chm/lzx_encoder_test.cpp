#include "chm/lzx_decoders.h"
#include "chm/lzx_encoder.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using kvx::chm::LzxEncoder;
using kvx::chm::LzxOptions;
using namespace kvx::chm::test;

constexpr std::size_t kFrame = LzxEncoder::kFrameSize;

// Report pages as the program writes them: the same markup, different names and paths.
std::vector<std::uint8_t> htmlPages(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < size) {
        const std::string name = "plan " + std::to_string(rng() % 100000);
        text += "<html><body bgcolor=\"#FFFFFF\">\r\n<p><font face=\"Verdana, Arial\" size=\"2\">"
                "<b>File name: " +
                name +
                "</b></font></p>\r\n<table width=\"98%\"><tr><td>"
                "<img src=\"" +
                name + ".dwg.jpg\" border=\"1\"></td></tr>\r\n";
        for (const char* label : {"Location", "Version", "Modified", "Size"})
            text += std::string("<tr><td width=\"16%\"><b>") + label + ":</b></td><td>/srv/plans/" +
                    std::to_string(rng() % 1000) + "/" + name + " " +
                    std::to_string(rng() % 100000) + "</td></tr>\r\n";
        text += "</table></body></html>\r\n";
    }
    text.resize(size);
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(size);
    for (auto& b : v)
        b = std::uint8_t(rng());
    return v;
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
    {"large window, resets every four frames", alternating(8, 20001, 15001), 17, 4},
    {"largest window", {{Kind::Html, 500000}, {Kind::Picture, 30001}}, 21, 2},
    {"odd reset interval", alternating(5, 40001, 7001), 16, 3},
};

// Cases print by name, not as bytes.
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

struct Encoded {
    std::vector<std::uint8_t> input;
    LzxStream stream;
};

// The content padded out to a whole reset interval.
std::size_t framesFor(std::size_t size, std::uint32_t reset) {
    const std::size_t interval = reset * kFrame;
    return (size + interval - 1) / interval * reset;
}

Encoded encode(const Case& c) {
    LzxEncoder enc(LzxOptions{c.windowBits, c.reset});
    Encoded e;
    unsigned seed = 1;
    for (const Piece& p : c.pieces) {
        std::vector<std::uint8_t> bytes;
        switch (p.kind) {
        case Kind::Html:
            bytes = htmlPages(p.size, seed++);
            break;
        case Kind::Random:
        case Kind::Picture:
            bytes = randomBytes(p.size, seed++);
            break;
        case Kind::Zeros:
            bytes.assign(p.size, 0);
            break;
        }
        enc.write(bytes.data(), bytes.size(), p.kind != Kind::Picture);
        e.input.insert(e.input.end(), bytes.begin(), bytes.end());
    }
    e.stream.bytes = enc.finish();
    e.stream.frameOffsets = enc.frameOffsets();
    e.stream.windowBits = c.windowBits;
    e.stream.resetIntervalFrames = c.reset;
    return e;
}

// What a reader gets back from frame `first` on: the input, then zeros to the frame's end.
std::vector<std::uint8_t> expected(const Encoded& e, std::size_t first, std::size_t frames) {
    std::vector<std::uint8_t> v(frames * kFrame, 0);
    const std::size_t from = first * kFrame;
    if (from < e.input.size())
        std::copy(e.input.begin() + std::ptrdiff_t(from),
                  e.input.begin() + std::ptrdiff_t(std::min(e.input.size(), from + v.size())),
                  v.begin());
    return v;
}

class LzxRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(LzxRoundTrip, everyReaderGetsTheBytesBackFromTheStartAndFromEveryResetPoint) {
    const Case& c = GetParam();
    const Encoded e = encode(c);
    const auto& offsets = e.stream.frameOffsets;
    const std::size_t frames = framesFor(e.input.size(), c.reset);
    ASSERT_EQ(offsets.size(), frames + 1);
    if (frames == 0)
        return;

    for (auto decode : {decodeWithLibmspack, decodeWithChmlib, decodeWith7zip}) {
        const Decoded all = decode(e.stream, 0, frames);
        ASSERT_TRUE(all.ok) << all.error;
        ASSERT_TRUE(all.bytes == expected(e, 0, frames));
        // Random access: a reader starts at a reset point and decodes onwards.
        for (std::size_t f = c.reset; f < frames; f += c.reset) {
            const std::size_t n = std::min<std::size_t>(frames - f, 2 * c.reset);
            const Decoded part = decode(e.stream, f, n);
            ASSERT_TRUE(part.ok) << "from frame " << f << ": " << part.error;
            ASSERT_TRUE(part.bytes == expected(e, f, n)) << "from frame " << f;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lzx, LzxRoundTrip, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// Arbitrary sequences of writes, as a folder of odd files gives them: any sizes, either kind,
// repeated picture heads, any window and reset interval.
TEST(LzxWrites, arbitrarySequencesComeBackWhole) {
    for (unsigned seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        LzxOptions o;
        o.windowBits = 15 + int(rng() % 7);
        o.resetIntervalFrames = 1 + rng() % 4;
        o.codedHeadBytes = rng() % 2 ? 640 : rng() % 1500;
        LzxEncoder enc(o);
        Encoded e;
        const std::vector<std::uint8_t> head = randomBytes(700, seed);
        for (int w = int(rng() % 30); w > 0; --w) {
            const std::size_t n = rng() % 4 ? rng() % 70000 : rng() % 40;
            std::vector<std::uint8_t> bytes =
                rng() % 2 ? htmlPages(n, rng()) : randomBytes(n, rng());
            if (rng() % 3 == 0)
                std::copy(head.begin(), head.begin() + std::ptrdiff_t(std::min(n, head.size())),
                          bytes.begin());
            enc.write(bytes.data(), bytes.size(), rng() % 2);
            e.input.insert(e.input.end(), bytes.begin(), bytes.end());
        }
        e.stream.bytes = enc.finish();
        e.stream.frameOffsets = enc.frameOffsets();
        e.stream.windowBits = o.windowBits;
        e.stream.resetIntervalFrames = o.resetIntervalFrames;
        const std::size_t frames = e.stream.frameOffsets.size() - 1;
        ASSERT_EQ(frames, framesFor(e.input.size(), o.resetIntervalFrames));
        const std::size_t last = frames ? frames - o.resetIntervalFrames : 0;
        for (auto decode : {decodeWithLibmspack, decodeWithChmlib, decodeWith7zip}) {
            for (std::size_t first : {std::size_t(0), last}) {
                const Decoded d = decode(e.stream, first, frames - first);
                ASSERT_TRUE(d.ok) << "from frame " << first << ": " << d.error;
                ASSERT_TRUE(d.bytes == expected(e, first, frames - first))
                    << "from frame " << first;
            }
        }
    }
}

// Pictures are stored, not coded: they must not grow by more than the block headers.
TEST(LzxSize, picturesHardlyGrow) {
    const Encoded pictures = encode({"pictures", {{Kind::Picture, 2 << 20}}});
    EXPECT_LT(double(pictures.stream.bytes.size()), 1.002 * double(pictures.input.size()));
}

} // namespace
