// The preview reader on drawings generated here: every picture kind it decodes, the choice
// between several pictures, and every way a drawing can be damaged.

#include <cctype>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "preview/byte_format.h"
#include "preview/dwg_preview.h"
#include "preview/rgb_picture.h"
#include "support/dwg_builder.h"

using namespace kvxtest;
using kvx::PictureFormat;
using kvx::PreviewError;
using kvx::PreviewStatus;

namespace {

kvx::PreviewResult readBytes(const Bytes& bytes, bool decode = true) {
    kvx::MemorySource source(bytes.data(), bytes.size());
    return kvx::readPreview(source, decode);
}

// Every pixel of the decoded picture against the image it was made from.
void expectSamePicture(const Image& expected, const kvx::RgbPicture& picture) {
    const kvx::RgbPicture got = kvx::toRgb(picture);
    ASSERT_EQ(got.width, expected.width);
    ASSERT_EQ(got.height, expected.height);
    ASSERT_EQ(got.rgb.size(), expected.rgb.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < got.rgb.size(); ++i)
        differing += got.rgb[i] != expected.rgb[i];
    EXPECT_EQ(differing, 0u);
}

// Counts what the reader asks for.
class CountingSource : public kvx::ByteSource {
public:
    explicit CountingSource(const Bytes& bytes) : m_inner(bytes.data(), bytes.size()) {}
    std::uint64_t size() const override { return m_inner.size(); }
    bool readAt(std::uint64_t offset, void* dst, std::size_t count) override {
        bytesRead += count;
        largestRead = std::max<std::uint64_t>(largestRead, count);
        return m_inner.readAt(offset, dst, count);
    }
    std::uint64_t bytesRead = 0;
    std::uint64_t largestRead = 0;

private:
    kvx::MemorySource m_inner;
};

struct BmpCase {
    unsigned bits;
    bool topDown;
    bool coreHeader;
    unsigned colours;
};

void PrintTo(const BmpCase& c, std::ostream* os) {
    *os << c.bits << (c.topDown ? "bit-topdown" : "bit-bottomup") << (c.coreHeader ? "-core" : "")
        << "-" << c.colours;
}

class BmpDecoding : public ::testing::TestWithParam<BmpCase> {};

TEST_P(BmpDecoding, EveryPixelArrivesInPlace) {
    const BmpCase c = GetParam();
    // Odd widths exercise the row padding, and for 1 and 4 bits a partly used last byte.
    const Image image = Image::pattern(37, 11, c.colours);
    BmpOptions o;
    o.bits = c.bits;
    o.topDown = c.topDown;
    o.coreHeader = c.coreHeader;
    TempDir dir;
    const std::string path =
        dir.write("a.dwg", DwgBuilder("AC1015").headerData().bmp(makeBmp(image, o)).build());

    const kvx::PreviewResult r = kvx::readPreview(path);
    ASSERT_EQ(r.status, PreviewStatus::Picture) << r.message;
    EXPECT_EQ(r.info.format, PictureFormat::Bmp);
    EXPECT_EQ(r.info.width, 37u);
    EXPECT_EQ(r.info.height, 11u);
    EXPECT_EQ(r.info.bits, c.bits);
    EXPECT_EQ(r.header, "AC1015");
    expectSamePicture(image, r.picture);
}

INSTANTIATE_TEST_SUITE_P(
    DepthsAndRowOrders, BmpDecoding,
    ::testing::Values(BmpCase{1, false, false, 2}, BmpCase{1, true, false, 2},
                      BmpCase{4, false, false, 16}, BmpCase{4, true, false, 9},
                      BmpCase{8, false, false, 256}, BmpCase{8, true, false, 100},
                      BmpCase{24, false, false, 256}, BmpCase{24, true, false, 256},
                      BmpCase{32, false, false, 256}, BmpCase{32, true, false, 256},
                      BmpCase{8, false, true, 256}, BmpCase{4, false, true, 16}));

struct PngCase {
    unsigned colourType;
    unsigned depth;
    bool interlaced;
};

void PrintTo(const PngCase& c, std::ostream* os) {
    *os << "type" << c.colourType << "-depth" << c.depth << (c.interlaced ? "-interlaced" : "");
}

class PngDecoding : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngDecoding, EveryPixelArrivesInPlace) {
    const PngCase c = GetParam();
    Image image = Image::pattern(29, 17, 256);
    PngOptions o;
    o.colourType = c.colourType;
    o.bitDepth = c.depth;
    o.interlaced = c.interlaced;
    const Bytes png = makePng(image, o);
    if (c.colourType == 0) // grey pictures carry the red channel only
        for (std::size_t i = 0; i < image.rgb.size(); i += 3)
            image.rgb[i + 1] = image.rgb[i + 2] = image.rgb[i];

    const kvx::PreviewResult r =
        readBytes(DwgBuilder("AC1032").headerData().png(png).bodyAfter(1000).build());
    ASSERT_EQ(r.status, PreviewStatus::Picture) << r.message;
    EXPECT_EQ(r.info.format, PictureFormat::Png);
    EXPECT_EQ(r.info.width, 29u);
    EXPECT_EQ(r.info.height, 17u);
    expectSamePicture(image, r.picture);
}

INSTANTIATE_TEST_SUITE_P(ColourTypes, PngDecoding,
                         ::testing::Values(PngCase{2, 8, false}, PngCase{2, 16, false},
                                           PngCase{6, 8, false}, PngCase{6, 16, true},
                                           PngCase{0, 8, false}, PngCase{0, 16, false},
                                           PngCase{2, 8, true}, PngCase{3, 8, false},
                                           PngCase{3, 8, true}));

// Either picture kind read fitted into a box: the same as fitting the full picture afterwards,
// while the stored size is still reported.
TEST(FittedReading, MatchesFittingAfterwardsForBothKinds) {
    const Image image = Image::pattern(90, 40, 2);
    std::vector<Bytes> drawings;
    for (unsigned bits : {1u, 4u, 8u, 24u, 32u})
        for (bool topDown : {false, true}) {
            BmpOptions b;
            b.bits = bits;
            b.topDown = topDown;
            drawings.push_back(DwgBuilder("AC1015").headerData().bmp(makeBmp(image, b)).build());
        }
    PngOptions p;
    p.colourType = 3;
    drawings.push_back(DwgBuilder("AC1032").headerData().png(makePng(image, p)).build());
    for (const Bytes& drawing : drawings) {
        for (const kvx::FitBox box : {kvx::FitBox{30, 30, false}, kvx::FitBox{200, 100, true},
                                      kvx::FitBox{200, 100, false}}) {
            kvx::MemorySource source(drawing.data(), drawing.size());
            const kvx::PreviewResult fitted = kvx::readPreview(source, true, box);
            ASSERT_EQ(fitted.status, PreviewStatus::Picture) << fitted.message;
            EXPECT_EQ(fitted.info.width, 90u);
            EXPECT_EQ(fitted.info.height, 40u);
            const kvx::RgbPicture full = readBytes(drawing).picture;
            const kvx::Size2 size = kvx::fitInto(90, 40, box.width, box.height, box.enlarge);
            const kvx::RgbPicture expected = kvx::resampleArea(full, size.width, size.height);
            EXPECT_EQ(fitted.picture.width, expected.width);
            EXPECT_EQ(fitted.picture.height, expected.height);
            EXPECT_TRUE(kvx::toRgb(fitted.picture).rgb == expected.rgb);
        }
    }
}

TEST(PictureChoice, PngIsPreferredToABitmapStoredBeforeIt) {
    const Image bmpImage = Image::pattern(20, 10, 16);
    const Image pngImage = Image::pattern(12, 8, 5);
    const kvx::PreviewResult r = readBytes(
        DwgBuilder("AC1027").headerData().bmp(makeBmp(bmpImage)).png(makePng(pngImage)).build());
    ASSERT_EQ(r.status, PreviewStatus::Picture) << r.message;
    EXPECT_EQ(r.info.format, PictureFormat::Png);
    expectSamePicture(pngImage, r.picture);
}

TEST(PictureChoice, TheLargestOfSeveralBitmapsWhateverTheirOrder) {
    const Image small = Image::pattern(8, 4, 2);
    const Image large = Image::pattern(30, 20, 16);
    for (bool largeFirst : {false, true}) {
        DwgBuilder b("AC1018");
        if (largeFirst)
            b.bmp(makeBmp(large, {})).bmp(makeBmp(small, {}));
        else
            b.bmp(makeBmp(small, {})).bmp(makeBmp(large, {}));
        const kvx::PreviewResult r = readBytes(b.build());
        ASSERT_EQ(r.status, PreviewStatus::Picture) << r.message;
        expectSamePicture(large, r.picture);
    }
}

TEST(PictureChoice, ADamagedPngFallsBackToTheBitmap) {
    const Image image = Image::pattern(16, 9, 16);
    Bytes png = makePng(Image::pattern(16, 9, 3));
    png[png.size() - 20] ^= 0x55; // inside the compressed rows: the CRC no longer matches
    const kvx::PreviewResult r =
        readBytes(DwgBuilder("AC1027").png(png).bmp(makeBmp(image)).build());
    ASSERT_EQ(r.status, PreviewStatus::Picture) << r.message;
    EXPECT_EQ(r.info.format, PictureFormat::Bmp);
    expectSamePicture(image, r.picture);
}

TEST(PictureChoice, UnknownEntryCodesAreSkipped) {
    const Image image = Image::pattern(10, 6, 16);
    const kvx::PreviewResult r =
        readBytes(DwgBuilder("AC1024").entry(9, Bytes(40, 0xEE)).bmp(makeBmp(image)).build());
    ASSERT_EQ(r.status, PreviewStatus::Picture) << r.message;
    expectSamePicture(image, r.picture);
}

TEST(PictureChoice, EachEntryIsReadFromItsOwnStart) {
    const Image image = Image::pattern(14, 6, 16);
    const Bytes bmp = makeBmp(image);
    Layout layout;
    Bytes file = DwgBuilder("AC1015").headerData().bmp(bmp).build(&layout);
    // Move the bitmap to the end of the file and wipe its old place.
    const std::uint64_t moved = file.size();
    file.insert(file.end(), bmp.begin(), bmp.end());
    std::fill(file.begin() + std::ptrdiff_t(layout.starts[1]),
              file.begin() + std::ptrdiff_t(layout.starts[1] + bmp.size()), 0);
    put32(file, layout.tableAt + 9 + 1, static_cast<std::uint32_t>(moved));

    const kvx::PreviewResult r = readBytes(file);
    ASSERT_EQ(r.status, PreviewStatus::Picture) << r.message;
    EXPECT_EQ(r.info.offset, moved);
    expectSamePicture(image, r.picture);
}

TEST(EntrySizeWins, OverAStoredImageSizeThatDisagrees) {
    const Image image = Image::pattern(13, 7, 16);
    for (std::int64_t stored : {std::int64_t(0), std::int64_t(5), std::int64_t(0xFFFFFFFF)}) {
        BmpOptions o;
        o.bits = 4;
        o.sizeImage = stored;
        const kvx::PreviewResult r = readBytes(DwgBuilder().bmp(makeBmp(image, o)).build());
        ASSERT_EQ(r.status, PreviewStatus::Picture) << stored << ": " << r.message;
        expectSamePicture(image, r.picture);
    }
}

TEST(EntrySizeWins, OverAColourCountTheEntryHasNoRoomFor) {
    const Image image = Image::pattern(13, 7, 16);
    BmpOptions o;
    o.bits = 8;
    o.colourCount = 256; // but only 16 entries are stored before the rows
    const kvx::PreviewResult r = readBytes(DwgBuilder().bmp(makeBmp(image, o)).build());
    ASSERT_EQ(r.status, PreviewStatus::Picture) << r.message;
    expectSamePicture(image, r.picture);
}

TEST(ReadingBounds, OnlyTheHeaderAndTheImageSectionAreRead) {
    const Bytes bmp = makeBmp(Image::pattern(40, 20, 256), {8, false, false, -1, -1, 0});
    for (std::size_t body : {std::size_t(1000), std::size_t(4) << 20}) {
        Layout layout;
        const Bytes file =
            DwgBuilder("AC1018").bodyBefore(body).bodyAfter(body).headerData().bmp(bmp).build(
                &layout);
        const std::uint64_t section = layout.sectionEnd - layout.address;
        CountingSource decoding(file);
        ASSERT_EQ(kvx::readPreview(decoding, true).status, PreviewStatus::Picture);
        EXPECT_LE(decoding.bytesRead, 17 + section + 124) << body;
        EXPECT_LE(decoding.largestRead, bmp.size());

        // Inspection looks at the bitmap's header only.
        CountingSource inspecting(file);
        const kvx::PreviewResult r = kvx::readPreview(inspecting, false);
        ASSERT_EQ(r.status, PreviewStatus::Picture);
        EXPECT_EQ(r.info.width, 40u);
        EXPECT_LT(inspecting.bytesRead, 17 + 21 + 2 * 9 + 124 + 1);
    }
}

// What a drawing is reported as, for drawings that are sound but store no picture and for
// every kind of damage; `mention` must appear in the message.
struct Outcome {
    const char* name;
    std::function<Bytes(std::string& mention)> make;
    PreviewStatus status;
    PreviewError error;
    bool seenWithoutDecoding = true; // damage in the pixels shows only when decoding
};

Bytes withBmp(Layout* layout = nullptr, const char* header = "AC1015") {
    return DwgBuilder(header).headerData().bmp(makeBmp(Image::pattern(10, 4, 16))).build(layout);
}

// The offset of field `at` bytes into the BMP entry of withBmp().
std::uint64_t bmpField(const Layout& l, std::uint64_t at) {
    return l.starts[1] + at;
}

const Outcome kOutcomes[] = {
    {"empty image section", [](std::string&) { return DwgBuilder("AC1014").build(); },
     PreviewStatus::NoPicture, PreviewError::None},
    {"header data only", [](std::string&) { return DwgBuilder("AC1032").headerData().build(); },
     PreviewStatus::NoPicture, PreviewError::None},
    {"zero image address",
     [](std::string&) { return DwgBuilder("AC1021").withoutImageSection().build(); },
     PreviewStatus::NoPicture, PreviewError::None},
    {"metafile only", [](std::string&) { return DwgBuilder("AC1012").wmf(makeWmf()).build(); },
     PreviewStatus::NoPicture, PreviewError::None},
    {"empty bitmap entry", [](std::string&) { return DwgBuilder("AC1015").bmp({}).build(); },
     PreviewStatus::NoPicture, PreviewError::None},
    {"release 11",
     [](std::string&) {
         Bytes b = withBmp(nullptr, "AC1009");
         put32(b, 0x0D, 0x50003); // what such files hold there
         return b;
     },
     PreviewStatus::NoPicture, PreviewError::None},
    {"release 1.1", [](std::string&) { return withBmp(nullptr, "MC0.0 "); },
     PreviewStatus::NoPicture, PreviewError::None},
    {"release 2.10", [](std::string&) { return withBmp(nullptr, "AC2.10"); },
     PreviewStatus::NoPicture, PreviewError::None},
    {"release pre-R13", [](std::string&) { return withBmp(nullptr, "AC1011"); },
     PreviewStatus::NoPicture, PreviewError::None},
    {"empty file", [](std::string&) { return Bytes{}; }, PreviewStatus::Damaged,
     PreviewError::NotADrawing},
    {"zip archive",
     [](std::string& m) {
         m = "PK\\x03\\x04";
         Bytes b = withBmp();
         const std::uint8_t zip[] = {'P', 'K', 3, 4, 20, 0};
         std::copy(zip, zip + 6, b.begin());
         return b;
     },
     PreviewStatus::Damaged, PreviewError::NotADrawing},
    {"lower-case header", [](std::string&) { return withBmp(nullptr, "ac1015"); },
     PreviewStatus::Damaged, PreviewError::NotADrawing},
    {"six-byte file",
     [](std::string& m) {
         m = "0xD";
         return Bytes{'A', 'C', '1', '0', '1', '5'};
     },
     PreviewStatus::Damaged, PreviewError::FileTooShort},
    {"wrong sentinel",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         b[l.address + 7] ^= 0x01;
         m = kvx::hex(l.address);
         return b;
     },
     PreviewStatus::Damaged, PreviewError::BadSentinel},
    {"address at the end",
     [](std::string& m) {
         Bytes b = withBmp();
         put32(b, 0x0D, static_cast<std::uint32_t>(b.size()));
         m = kvx::hex(b.size());
         return b;
     },
     PreviewStatus::Damaged, PreviewError::AddressPastEnd},
    {"address near 4 GiB",
     [](std::string& m) {
         Bytes b = withBmp();
         put32(b, 0x0D, 0xFFFFFFF0u);
         m = "0xFFFFFFF0";
         return b;
     },
     PreviewStatus::Damaged, PreviewError::AddressPastEnd},
    {"section cut inside the bitmap",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         b.resize(l.starts[1] + 30);
         m = kvx::hex(l.overallSizeAt);
         return b;
     },
     PreviewStatus::Damaged, PreviewError::SectionTruncated},
    {"section cut inside the entry table",
     [](std::string& m) {
         Layout l;
         Bytes b = DwgBuilder().headerData().bmp(makeBmp(Image::pattern(4, 4, 2))).build(&l);
         put32(b, l.overallSizeAt, 0);
         b.resize(l.tableAt + 12);
         m = kvx::hex(l.countAt);
         return b;
     },
     PreviewStatus::Damaged, PreviewError::SectionTruncated},
    {"overall size overflowing 32 bits",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, l.overallSizeAt, 0xFFFFFFFFu);
         m = kvx::hex(l.overallSizeAt);
         return b;
     },
     PreviewStatus::Damaged, PreviewError::SectionTruncated},
    {"entry size past the end",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, l.tableAt + 9 + 5, static_cast<std::uint32_t>(b.size()));
         m = kvx::hex(l.tableAt + 9);
         return b;
     },
     PreviewStatus::Damaged, PreviewError::EntryPastEnd},
    {"entry start and size overflowing 32 bits",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, l.tableAt + 9 + 1, 0xFFFFFF00u);
         put32(b, l.tableAt + 9 + 5, 0x200u);
         m = "0xFFFFFF00";
         return b;
     },
     PreviewStatus::Damaged, PreviewError::EntryPastEnd},
    {"header data entry past the end",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, l.tableAt + 1, 0xFFFFFFFFu);
         m = kvx::hex(l.tableAt);
         return b;
     },
     PreviewStatus::Damaged, PreviewError::EntryPastEnd},
    {"bitmap width overflowing the row size",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, bmpField(l, 4), 0x7FFFFFFFu);
         m = kvx::hex(bmpField(l, 4));
         return b;
     },
     PreviewStatus::Damaged, PreviewError::TooLarge},
    {"bitmap height of -2^31",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, bmpField(l, 8), 0x80000000u);
         m = kvx::hex(bmpField(l, 4));
         return b;
     },
     PreviewStatus::Damaged, PreviewError::TooLarge},
    {"bitmap area past the pixel limit",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, bmpField(l, 4), 8000);
         put32(b, bmpField(l, 8), 8000);
         m = "8000 x 8000";
         return b;
     },
     PreviewStatus::Damaged, PreviewError::TooLarge},
    {"negative bitmap width",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, bmpField(l, 4), 0xFFFFFFF6u);
         m = kvx::hex(bmpField(l, 4));
         return b;
     },
     PreviewStatus::Damaged, PreviewError::BadBitmap},
    {"zero bitmap height",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, bmpField(l, 8), 0);
         m = kvx::hex(bmpField(l, 8));
         return b;
     },
     PreviewStatus::Damaged, PreviewError::BadBitmap},
    {"bitmap rows one byte short",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         const std::uint32_t size = get32(b, l.tableAt + 9 + 5);
         put32(b, l.tableAt + 9 + 5, size - 1);
         m = "rows need";
         return b;
     },
     PreviewStatus::Damaged, PreviewError::BadBitmap},
    {"colour count overflowing",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, bmpField(l, 32), 0xFFFFFFFFu);
         m = kvx::hex(bmpField(l, 32));
         return b;
     },
     PreviewStatus::Damaged, PreviewError::BadBitmap},
    {"16 bits per pixel",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         b[bmpField(l, 14)] = 16;
         m = kvx::hex(bmpField(l, 14));
         return b;
     },
     PreviewStatus::Damaged, PreviewError::BadBitmap},
    {"run-length compressed bitmap",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, bmpField(l, 16), 2);
         m = kvx::hex(bmpField(l, 16));
         return b;
     },
     PreviewStatus::Damaged, PreviewError::BadBitmap},
    {"bitmap header size unknown",
     [](std::string& m) {
         Layout l;
         Bytes b = withBmp(&l);
         put32(b, bmpField(l, 0), 0xFFFFFFFFu);
         m = kvx::hex(bmpField(l, 0));
         return b;
     },
     PreviewStatus::Damaged, PreviewError::BadBitmap},
    {"PNG with a broken stream checksum",
     [](std::string& m) {
         Bytes png = makePng(Image::pattern(16, 9, 3));
         png[png.size() - 20] ^= 0x55;
         m = "checksum";
         return DwgBuilder("AC1032").headerData().png(png).build();
     },
     PreviewStatus::Damaged, PreviewError::BadPng, false},
    // Altered bytes that still inflate into rows, only wrong ones.
    {"PNG with altered rows",
     [](std::string& m) {
         Bytes png = makePng(Image::pattern(16, 9, 3));
         for (std::size_t back = 22; back < 40; back += 3)
             png[png.size() - back] ^= 0x55;
         m = "checksum";
         return DwgBuilder("AC1032").headerData().png(png).build();
     },
     PreviewStatus::Damaged, PreviewError::BadPng, false},
    {"PNG chunk length past the entry",
     [](std::string& m) {
         Layout l;
         Bytes png = makePng(Image::pattern(16, 9, 3));
         png[33] = 0xFF; // the length of the chunk after IHDR
         Bytes b = DwgBuilder("AC1032").png(png).build(&l);
         m = kvx::hex(l.starts[0] + 33);
         return b;
     },
     PreviewStatus::Damaged, PreviewError::BadPng, false},
    {"PNG without signature",
     [](std::string& m) {
         Layout l;
         Bytes png = makePng(Image::pattern(6, 6, 3));
         png[1] = 'Q';
         Bytes b = DwgBuilder("AC1032").headerData().png(png).build(&l);
         m = kvx::hex(l.starts[1]);
         return b;
     },
     PreviewStatus::Damaged, PreviewError::BadPng},
    {"PNG size overflowing",
     [](std::string& m) {
         Layout l;
         Bytes png = makePng(Image::pattern(6, 6, 3));
         png[16] = png[17] = png[18] = png[19] = 0xFF;
         Bytes b = DwgBuilder("AC1032").png(png).build(&l);
         m = kvx::hex(l.starts[0] + 16);
         return b;
     },
     PreviewStatus::Damaged, PreviewError::TooLarge},
    {"PNG promising more rows than its bytes hold",
     [](std::string& m) {
         Bytes png = makePng(Image::pattern(6, 6, 3));
         png[18] = png[22] = 0x08; // 2064 x 2057
         m = "more than the entry";
         return DwgBuilder("AC1032").png(png).build();
     },
     PreviewStatus::Damaged, PreviewError::TooLarge},
};

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << o.name;
}

class Outcomes : public ::testing::TestWithParam<Outcome> {};

TEST_P(Outcomes, ReportedWithTheFieldAtFault) {
    const Outcome& o = GetParam();
    std::string mention;
    const Bytes bytes = o.make(mention);
    for (bool decode : {true, false}) {
        if (!decode && !o.seenWithoutDecoding)
            continue;
        const kvx::PreviewResult r = readBytes(bytes, decode);
        EXPECT_EQ(r.status, o.status) << o.name << ": " << r.message;
        EXPECT_EQ(r.error, o.error) << o.name << ": error " << static_cast<int>(r.error);
        EXPECT_TRUE(r.picture.empty());
        if (o.status == PreviewStatus::Damaged) {
            EXPECT_NE(r.message.find(mention), std::string::npos)
                << o.name << ": \"" << r.message << "\" lacks \"" << mention << "\"";
        }
    }
    // The same through a file.
    TempDir dir;
    EXPECT_EQ(kvx::readPreview(dir.write("x.dwg", bytes)).status, o.status) << o.name;
}

INSTANTIATE_TEST_SUITE_P(Drawings, Outcomes, ::testing::ValuesIn(kOutcomes),
                         [](const ::testing::TestParamInfo<Outcome>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(Metafile, OnlyAMetafileIsReportedAsSuch) {
    const kvx::PreviewResult r = readBytes(DwgBuilder("AC1012").wmf(makeWmf()).build(), false);
    EXPECT_EQ(r.status, PreviewStatus::NoPicture);
    EXPECT_EQ(r.info.format, PictureFormat::Wmf);
}

TEST(Files, MissingFoldersAndPipesAreRefusedWithoutHanging) {
    TempDir dir;
    const std::string fifo = dir.file("pipe.dwg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.file("missing.dwg"), dir.path(), fifo}) {
        const kvx::PreviewResult r = kvx::readPreview(path);
        EXPECT_EQ(r.status, PreviewStatus::Damaged) << path;
        EXPECT_EQ(r.error, PreviewError::CannotOpen) << path;
        EXPECT_FALSE(r.message.empty());
    }
}

struct ReleaseCase {
    const char* header;
    kvx::ReleaseKind kind;
};

void PrintTo(const ReleaseCase& c, std::ostream* os) {
    *os << kvx::escapeBytes(c.header);
}

class Releases : public ::testing::TestWithParam<ReleaseCase> {};

TEST_P(Releases, DecideWhetherAPictureCanBeStored) {
    EXPECT_EQ(kvx::releaseKindOf(GetParam().header), GetParam().kind) << GetParam().header;
}

INSTANTIATE_TEST_SUITE_P(Headers, Releases,
                         ::testing::Values(ReleaseCase{"AC1012", kvx::ReleaseKind::StoresPicture},
                                           ReleaseCase{"AC1500", kvx::ReleaseKind::StoresPicture},
                                           ReleaseCase{"AC1018", kvx::ReleaseKind::StoresPicture},
                                           ReleaseCase{"AC1032", kvx::ReleaseKind::StoresPicture},
                                           ReleaseCase{"AC1040", kvx::ReleaseKind::StoresPicture},
                                           ReleaseCase{"AC1011", kvx::ReleaseKind::StoresNone},
                                           ReleaseCase{"AC1009", kvx::ReleaseKind::StoresNone},
                                           ReleaseCase{"AC1001", kvx::ReleaseKind::StoresNone},
                                           ReleaseCase{"MC0.0 ", kvx::ReleaseKind::StoresNone},
                                           ReleaseCase{"AC2.22", kvx::ReleaseKind::StoresNone},
                                           ReleaseCase{"AC1.40", kvx::ReleaseKind::StoresNone},
                                           ReleaseCase{"", kvx::ReleaseKind::NotADrawing},
                                           ReleaseCase{"AC101", kvx::ReleaseKind::NotADrawing},
                                           ReleaseCase{"MC0.0", kvx::ReleaseKind::NotADrawing},
                                           ReleaseCase{"ac1015", kvx::ReleaseKind::NotADrawing},
                                           ReleaseCase{"AC1000", kvx::ReleaseKind::NotADrawing},
                                           ReleaseCase{"AC10x5", kvx::ReleaseKind::NotADrawing},
                                           ReleaseCase{"PK\x03\x04",
                                                       kvx::ReleaseKind::NotADrawing}));

} // namespace
