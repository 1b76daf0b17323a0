// The PNG decoder, interlaced pictures included: every colour type, bit depth and row filter
// against libspng decoding the same bytes, and the ways its image data can be damaged.

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <spng.h>
#include <zlib.h>

#include "preview/byte_format.h"
#include "preview/picture_codecs.h"
#include "support/dwg_builder.h"

using namespace kvxtest;
using kvx::PreviewError;

namespace {

void putBe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (24 - 8 * i));
}

// Recomputes the checksum of the chunk starting at `at`, after a test changed its contents.
void fixChunkCrc(Bytes& png, std::size_t at) {
    const std::uint32_t length = kvx::be32(&png[at]);
    putBe32(png, at + 8 + length,
            static_cast<std::uint32_t>(crc32(0, png.data() + at + 4, length + 4)));
}

// The offset of the first chunk of the given type.
std::size_t chunkAt(const Bytes& png, const char* type) {
    for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + kvx::be32(&png[at]))
        if (std::equal(type, type + 4, png.begin() + std::ptrdiff_t(at + 4)))
            return at;
    return 0;
}

struct PngParts {
    std::uint32_t width = 1;
    std::uint32_t height = 1;
    unsigned depth = 8;
    unsigned colourType = 2;
    Bytes palette;
    Bytes rows; // each row's filter byte and its bytes, exactly as they are to be compressed
};

// A PNG of exactly the given parts: rows compressed as they are, however many there are.
Bytes assemblePng(const PngParts& p) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&](const char* type, const Bytes& data) {
        const std::size_t at = out.size();
        out.resize(at + 12 + data.size());
        putBe32(out, at, static_cast<std::uint32_t>(data.size()));
        std::copy(type, type + 4, out.begin() + std::ptrdiff_t(at + 4));
        std::copy(data.begin(), data.end(), out.begin() + std::ptrdiff_t(at + 8));
        fixChunkCrc(out, at);
    };
    Bytes ihdr(13);
    putBe32(ihdr, 0, p.width);
    putBe32(ihdr, 4, p.height);
    ihdr[8] = std::uint8_t(p.depth);
    ihdr[9] = std::uint8_t(p.colourType);
    chunk("IHDR", ihdr);
    if (!p.palette.empty())
        chunk("PLTE", p.palette);
    uLongf packedSize = compressBound(static_cast<uLong>(p.rows.size()));
    Bytes packed(packedSize);
    EXPECT_EQ(compress2(packed.data(), &packedSize, p.rows.data(), uLong(p.rows.size()), 9), Z_OK);
    packed.resize(packedSize);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return out;
}

// libspng's RGB8 output for the same bytes: an independent decoder to agree with.
kvx::RgbPicture decodeWithLibrary(const Bytes& png) {
    std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(0), spng_ctx_free);
    spng_set_png_buffer(ctx.get(), png.data(), png.size());
    spng_ihdr ihdr = {};
    std::size_t size = 0;
    kvx::RgbPicture picture;
    if (spng_get_ihdr(ctx.get(), &ihdr) != 0 ||
        spng_decoded_image_size(ctx.get(), SPNG_FMT_RGB8, &size) != 0)
        return picture;
    picture.rgb.resize(size);
    if (spng_decode_image(ctx.get(), picture.rgb.data(), size, SPNG_FMT_RGB8, 0) != 0)
        return {};
    picture.width = ihdr.width;
    picture.height = ihdr.height;
    return picture;
}

// What the picture must look like, worked out from the image it was made from: grey comes
// from the top bits of the red channel, scaled back to eight bits; alpha is dropped.
Image expectedFrom(const Image& image, unsigned colourType, unsigned depth) {
    Image out = image;
    if (colourType != 0 && colourType != 4)
        return out;
    const unsigned most = (1u << std::min(depth, 8u)) - 1;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const unsigned sample = (image.at(x, y) >> 16 & 0xFF) >> (8 - std::min(depth, 8u));
            const auto g = std::uint8_t(sample * 255 / most);
            out.set(x, y, g, g, g);
        }
    }
    return out;
}

template <class A, class B> std::size_t differingBytes(const A& a, const B& b) {
    if (a.size() != b.size())
        return std::max(a.size(), b.size());
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// Makes the PNG and decodes it: the same pixels as libspng's and as the image's own.
void expectDecodedLikeLibraryAndImage(const Image& image, const PngOptions& o) {
    const Bytes png = makePng(image, o);
    kvx::RgbPicture picture;
    kvx::PngHeader header;
    const kvx::CodecError e = kvx::decodePng(png.data(), png.size(), 0x40, picture, &header);
    ASSERT_FALSE(e) << e.message;
    EXPECT_EQ(header.interlaced, o.interlaced);
    ASSERT_EQ(picture.width, image.width);
    ASSERT_EQ(picture.height, image.height);
    // Palette indices and narrow grey levels stay indices until colours are asked for.
    const bool indices = o.colourType == 3 || (o.colourType == 0 && o.bitDepth <= 8);
    EXPECT_EQ(picture.indexed(), indices && !o.interlaced);
    EXPECT_EQ(picture.rgb.empty(), picture.indexed());
    const kvx::RgbPicture rgb = kvx::toRgb(picture);
    const kvx::RgbPicture library = decodeWithLibrary(png);
    ASSERT_FALSE(library.empty());
    EXPECT_EQ(differingBytes(rgb.rgb, library.rgb), 0u);
    EXPECT_EQ(differingBytes(rgb.rgb, expectedFrom(image, o.colourType, o.bitDepth).rgb), 0u);
}

struct FormatCase {
    unsigned colourType;
    unsigned depth;
    int filter; // -1: each row a different one
    std::uint32_t width;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << "type" << c.colourType << "-depth" << c.depth << "-filter"
        << (c.filter < 0 ? std::string("mixed") : std::to_string(c.filter)) << "-width" << c.width;
}

class PngFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PngFormats, DecodeLikeTheLibraryAndLikeTheImage) {
    const FormatCase c = GetParam();
    // As many colours as the depth allows an indexed picture, at most 200.
    const unsigned colours = c.colourType == 3 ? std::min(1u << c.depth, 200u) : 250u;
    const Image image = Image::pattern(c.width, 11, colours);
    PngOptions o;
    o.colourType = c.colourType;
    o.bitDepth = c.depth;
    o.filter = c.filter;
    expectDecodedLikeLibraryAndImage(image, o);
}

std::vector<FormatCase> formatCases() {
    std::vector<FormatCase> cases;
    const unsigned typesAndDepths[][2] = {{0, 1}, {0, 2},  {0, 4},  {0, 8}, {0, 16},
                                          {2, 8}, {2, 16}, {3, 1},  {3, 2}, {3, 4},
                                          {3, 8}, {4, 8},  {4, 16}, {6, 8}, {6, 16}};
    for (const auto& td : typesAndDepths) {
        // Widths that end rows on a partial byte at every depth below eight, and one pixel.
        for (std::uint32_t width : {1u, 13u})
            cases.push_back({td[0], td[1], -1, width});
        for (int filter = 0; filter <= 4; ++filter)
            cases.push_back({td[0], td[1], filter, 23});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryColourTypeDepthAndFilter, PngFormats,
                         ::testing::ValuesIn(formatCases()));

// Interlaced pictures, from sizes that leave most of the seven passes empty to ones that fill
// every pass, in each colour type.
struct InterlacedCase {
    unsigned colourType, depth;
    std::uint32_t width, height;
};

void PrintTo(const InterlacedCase& c, std::ostream* os) {
    *os << "type" << c.colourType << "-depth" << c.depth << "-" << c.width << "x" << c.height;
}

class InterlacedPng : public ::testing::TestWithParam<InterlacedCase> {};

TEST_P(InterlacedPng, DecodesLikeTheLibraryAndLikeTheImage) {
    const InterlacedCase c = GetParam();
    const unsigned colours = c.colourType == 3 ? std::min(1u << c.depth, 200u) : 250u;
    const Image image = Image::pattern(c.width, c.height, colours);
    PngOptions o;
    o.colourType = c.colourType;
    o.bitDepth = c.depth;
    o.filter = -1;
    o.interlaced = true;
    expectDecodedLikeLibraryAndImage(image, o);
}

INSTANTIATE_TEST_SUITE_P(PassesAndFormats, InterlacedPng,
                         ::testing::Values(InterlacedCase{2, 8, 1, 1}, InterlacedCase{2, 8, 5, 1},
                                           InterlacedCase{2, 8, 1, 6}, InterlacedCase{3, 8, 3, 2},
                                           InterlacedCase{3, 1, 13, 11}, InterlacedCase{3, 4, 9, 9},
                                           InterlacedCase{0, 2, 17, 5}, InterlacedCase{0, 16, 8, 8},
                                           InterlacedCase{4, 8, 10, 3},
                                           InterlacedCase{6, 16, 33, 17},
                                           InterlacedCase{2, 16, 16, 16},
                                           InterlacedCase{3, 8, 67, 45}));

// Indexed pictures as drawings store them, wide enough for sixteen pixels at a time: runs of
// the background, rows repeating the row above, lines across and along, a diagonal, and widths
// that end on a partial group of sixteen.
class DrawingLikePng : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(DrawingLikePng, DecodesLikeTheLibraryAndLikeTheImage) {
    const std::uint32_t width = GetParam();
    Image image(width, 60, 33, 40, 48);
    image.fillRect(0, 10, width, 2, 0xFFFF00);
    image.fillRect(width / 3, 0, 1, 60, 0x00FFFF);
    image.fillRect(width / 2, 20, width / 4 + 1, 15, 0xFF0000);
    for (std::uint32_t i = 0; i < 60 && i < width; ++i)
        image.set(i, i, 255, 255, 255);
    for (std::uint32_t x = 0; x < width; x += 2)
        image.set(x, 50, std::uint8_t(x), 7, 9); // a row of many colours
    PngOptions o;
    o.colourType = 3;
    o.filter = 0;
    expectDecodedLikeLibraryAndImage(image, o);
}

INSTANTIATE_TEST_SUITE_P(Widths, DrawingLikePng, ::testing::Values(16u, 17u, 33u, 100u, 670u));

class SplitImageData : public ::testing::TestWithParam<unsigned> {};

TEST_P(SplitImageData, DecodesAsOneStream) {
    const Image image = Image::pattern(31, 17, 40);
    PngOptions o;
    o.filter = -1;
    o.dataChunks = GetParam();
    const Bytes png = makePng(image, o);
    kvx::RgbPicture picture;
    const kvx::CodecError e = kvx::decodePng(png.data(), png.size(), 0, picture);
    ASSERT_FALSE(e) << e.message;
    EXPECT_EQ(differingBytes(kvx::toRgb(picture).rgb, image.rgb), 0u);
}

// Two pieces, a piece per few bytes, and more pieces than bytes: some are empty.
INSTANTIATE_TEST_SUITE_P(Pieces, SplitImageData, ::testing::Values(2u, 3u, 50u, 2000u));

TEST(PaletteIndices, PastThePaletteShowBlackAtEveryDepth) {
    for (unsigned depth : {1u, 2u, 4u, 8u}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        // One palette entry; the row holds index 0 then the highest index the depth allows.
        PngParts p;
        p.width = 2;
        p.depth = depth;
        p.colourType = 3;
        p.palette = {10, 20, 30};
        const unsigned top = (1u << depth) - 1;
        p.rows = {0, std::uint8_t(depth == 8 ? 0 : top << (8 - 2 * depth))};
        if (depth == 8)
            p.rows.push_back(std::uint8_t(top));
        const Bytes png = assemblePng(p);
        kvx::RgbPicture picture;
        const kvx::CodecError e = kvx::decodePng(png.data(), png.size(), 0, picture);
        ASSERT_FALSE(e) << e.message;
        EXPECT_EQ(picture.at(0, 0), (kvx::Rgb{10, 20, 30}));
        EXPECT_EQ(picture.at(1, 0), (kvx::Rgb{0, 0, 0}));
    }
}

struct FitCase {
    unsigned colourType;
    unsigned depth;
    bool interlaced;
    std::uint32_t width, height;
    kvx::FitBox box;
};

void PrintTo(const FitCase& c, std::ostream* os) {
    *os << "type" << c.colourType << "-depth" << c.depth << (c.interlaced ? "-adam7-" : "-")
        << c.width << "x" << c.height << "-into-" << c.box.width << "x" << c.box.height
        << (c.box.enlarge ? "-enlarged" : "");
}

class FittedDecoding : public ::testing::TestWithParam<FitCase> {};

TEST_P(FittedDecoding, EqualsFittingTheFullPictureAfterwards) {
    const FitCase c = GetParam();
    PngOptions o;
    o.colourType = c.colourType;
    o.bitDepth = c.depth;
    o.interlaced = c.interlaced;
    o.filter = -1;
    const Bytes png = makePng(
        Image::pattern(c.width, c.height, c.colourType == 3 ? 1u << std::min(c.depth, 4u) : 90), o);

    kvx::RgbPicture full, fitted;
    kvx::PngHeader header;
    ASSERT_FALSE(kvx::decodePng(png.data(), png.size(), 0, full));
    const kvx::CodecError e = kvx::decodePng(png.data(), png.size(), 0, fitted, &header, c.box);
    ASSERT_FALSE(e) << e.message;
    // The header still tells the stored size.
    EXPECT_EQ(header.width, c.width);
    EXPECT_EQ(header.height, c.height);
    const kvx::Size2 size =
        kvx::fitInto(c.width, c.height, c.box.width, c.box.height, c.box.enlarge);
    const kvx::RgbPicture expected = kvx::resampleArea(full, size.width, size.height);
    ASSERT_EQ(fitted.width, expected.width);
    ASSERT_EQ(fitted.height, expected.height);
    EXPECT_EQ(differingBytes(kvx::toRgb(fitted).rgb, expected.rgb), 0u);
}

INSTANTIATE_TEST_SUITE_P(Boxes, FittedDecoding,
                         ::testing::Values(FitCase{3, 8, false, 670, 448, {252, 126, false}},
                                           FitCase{3, 2, false, 97, 61, {40, 40, false}},
                                           FitCase{2, 16, false, 64, 48, {9, 5, false}},
                                           FitCase{0, 1, false, 33, 17, {1, 1, false}},
                                           FitCase{6, 8, false, 40, 300, {256, 256, false}},
                                           FitCase{4, 8, false, 30, 20, {100, 70, true}},
                                           FitCase{2, 8, false, 30, 20, {100, 70, false}},
                                           FitCase{2, 8, true, 80, 50, {25, 25, false}},
                                           FitCase{3, 8, true, 20, 10, {64, 64, true}}));

// A damaged PNG: the bytes, and what the message must name.
struct Damage {
    const char* name;
    Bytes (*make)(std::string& mention);
};

void PrintTo(const Damage& d, std::ostream* os) {
    *os << d.name;
}

// Four grey rows of three pixels.
PngParts greyRows() {
    PngParts p;
    p.width = 3;
    p.height = 4;
    p.colourType = 0;
    p.rows = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};
    return p;
}

const Damage kDamages[] = {
    {"stream inflating to fewer bytes than the rows need",
     [](std::string& m) {
         PngParts p = greyRows();
         p.rows.pop_back();
         const Bytes png = assemblePng(p);
         m = "fewer bytes than the picture needs (expected 4 rows of 1 + 3 bytes, 16 in all)";
         return png;
     }},
    {"stream inflating to more bytes than the rows need",
     [](std::string& m) {
         PngParts p = greyRows();
         p.rows.push_back(0);
         const Bytes png = assemblePng(p);
         m = "more bytes than the picture needs (expected 4 rows of 1 + 3 bytes, 16 in all)";
         return png;
     }},
    {"height in the header larger than the rows stored",
     [](std::string& m) {
         Bytes png = assemblePng(greyRows());
         putBe32(png, 20, 5);
         fixChunkCrc(png, 8);
         m = "fewer bytes";
         return png;
     }},
    {"Adler-32 of the stream",
     [](std::string& m) {
         Bytes png = assemblePng(greyRows());
         const std::size_t at = chunkAt(png, "IDAT");
         png[at + 8 + kvx::be32(&png[at]) - 1] ^= 0x01; // the stream's last byte
         fixChunkCrc(png, at);
         m = "image data of " + std::to_string(kvx::be32(&png[at])) + " bytes at " +
             kvx::hex(0x100 + at + 8) + " is not a zlib stream with a matching Adler-32";
         return png;
     }},
    {"no zlib stream at all",
     [](std::string& m) {
         Bytes png = assemblePng(greyRows());
         const std::size_t at = chunkAt(png, "IDAT");
         png[at + 8] = 0x00; // the zlib header's compression method
         fixChunkCrc(png, at);
         m = "is not a zlib stream";
         return png;
     }},
    {"filter type past Paeth",
     [](std::string& m) {
         PngParts p = greyRows();
         p.rows[8] = 5;
         m = "filter type 5 of row 2 at byte 8 of the inflated image data (expected 0 to 4)";
         return assemblePng(p);
     }},
    {"image data interrupted by another chunk",
     [](std::string& m) {
         PngOptions o;
         o.dataChunks = 2;
         Bytes png = makePng(Image::pattern(9, 9, 4), o);
         const std::size_t second =
             chunkAt(png, "IDAT") + 12 + kvx::be32(&png[chunkAt(png, "IDAT")]);
         // A text chunk between the two image chunks.
         const Bytes text = {0, 0, 0, 1, 't', 'E', 'X', 't', 'a', 0, 0, 0, 0};
         png.insert(png.begin() + std::ptrdiff_t(second), text.begin(), text.end());
         fixChunkCrc(png, second);
         m = "IDAT chunk at " + kvx::hex(0x100 + second + text.size()) + " after other chunks";
         return png;
     }},
    {"indexed picture without a palette",
     [](std::string& m) {
         PngParts p = greyRows();
         p.colourType = 3;
         const Bytes png = assemblePng(p);
         m = "no PLTE chunk before the image data at " + kvx::hex(0x100 + chunkAt(png, "IDAT")) +
             " (expected a palette for colour type 3)";
         return png;
     }},
    {"palette of a length that is no whole number of entries",
     [](std::string& m) {
         PngParts p = greyRows();
         p.colourType = 3;
         p.palette = {1, 2, 3, 4};
         const Bytes png = assemblePng(p);
         m = "PLTE chunk of 4 bytes at " + kvx::hex(0x100 + chunkAt(png, "PLTE"));
         return png;
     }},
    {"no image data",
     [](std::string& m) {
         Bytes png = assemblePng(greyRows());
         const std::size_t at = chunkAt(png, "IDAT");
         png[at + 4] = 'i'; // IDAT becomes an ancillary chunk nobody knows
         fixChunkCrc(png, at);
         m = "no IDAT chunk";
         return png;
     }},
    {"unknown critical chunk",
     [](std::string& m) {
         Bytes png = assemblePng(greyRows());
         const std::size_t at = chunkAt(png, "IEND");
         const Bytes chunk = {0, 0, 0, 0, 'Q', 'U', 'X', '\x01'};
         png.insert(png.begin() + std::ptrdiff_t(at), chunk.begin(), chunk.end());
         png.insert(png.begin() + std::ptrdiff_t(at + chunk.size()), 4, 0);
         fixChunkCrc(png, at);
         m = "critical chunk \"QUX\\x01\" at " + kvx::hex(0x100 + at);
         return png;
     }},
    {"compression method",
     [](std::string& m) {
         Bytes png = assemblePng(greyRows());
         png[26] = 1;
         fixChunkCrc(png, 8);
         m = "compression method 1 and filter method 0 at 0x11A (expected 0 and 0)";
         return png;
     }},
    {"interlace method",
     [](std::string& m) {
         Bytes png = assemblePng(greyRows());
         png[28] = 2;
         fixChunkCrc(png, 8);
         m = "interlace method 2 at 0x11C (expected 0 or 1, Adam7)";
         return png;
     }},
};

class DamagedPng : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedPng, IsRefusedNamingTheFault) {
    std::string mention;
    const Bytes png = GetParam().make(mention);
    kvx::RgbPicture picture;
    const kvx::CodecError e = kvx::decodePng(png.data(), png.size(), 0x100, picture);
    EXPECT_EQ(e.code, PreviewError::BadPng);
    EXPECT_NE(e.message.find("PNG entry at 0x100: "), std::string::npos) << e.message;
    EXPECT_NE(e.message.find(mention), std::string::npos) << e.message;
    EXPECT_TRUE(picture.rgb.empty());
    EXPECT_TRUE(picture.indices.empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, DamagedPng, ::testing::ValuesIn(kDamages));

} // namespace
