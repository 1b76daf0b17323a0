// The thumbnails' PNG writer, read back by an independent decoder.

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <spng.h>
#include <zlib.h>

#include "preview/png_writer.h"

namespace {

struct Picture {
    const char* name;
    std::uint32_t width, height;
    // What each pixel holds, by position.
    kvx::Rgb (*pixel)(std::uint32_t x, std::uint32_t y);
};

void PrintTo(const Picture& p, std::ostream* os) {
    *os << p.name;
}

kvx::Rgb noise(std::uint32_t x, std::uint32_t y) {
    const std::uint32_t v = (x * 2654435761u) ^ (y * 40503u + 0x9E37u);
    return {std::uint8_t(v >> 3), std::uint8_t(v >> 11), std::uint8_t(v >> 19)};
}

// What previews look like: a flat background, a few lines, an anti-aliased edge.
kvx::Rgb drawing(std::uint32_t x, std::uint32_t y) {
    if (y % 37 == 5 || x % 53 == 7)
        return {255, 255, 0};
    if (x == y)
        return {128, 128, 16};
    return {33, 40, 48};
}

const Picture kPictures[] = {
    {"flat", 256, 171,
     [](std::uint32_t, std::uint32_t) {
         return kvx::Rgb{33, 40, 48};
     }},
    {"drawing", 256, 171, drawing},
    {"noise", 97, 61, noise},
    {"one_pixel", 1, 1,
     [](std::uint32_t, std::uint32_t) {
         return kvx::Rgb{1, 2, 3};
     }},
    {"one_column", 1, 700, drawing},
    {"vertical_stripes", 64, 64,
     [](std::uint32_t x, std::uint32_t) {
         return x % 2 ? kvx::Rgb{255, 0, 0} : kvx::Rgb{};
     }},
    // Rows longer than deflate's window: only the pixel before can be repeated.
    {"rows_past_the_window", 12000, 3, drawing},
    {"runs_of_one_byte", 300, 2,
     [](std::uint32_t x, std::uint32_t) {
         return x < 200 ? kvx::Rgb{7, 7, 7} : kvx::Rgb{0, 0, 9};
     }},
};

class PngWriter : public ::testing::TestWithParam<Picture> {};

TEST_P(PngWriter, WritesWhatADecoderReadsBackExactly) {
    const Picture& p = GetParam();
    kvx::RgbPicture picture;
    picture.width = p.width;
    picture.height = p.height;
    for (std::uint32_t y = 0; y < p.height; ++y)
        for (std::uint32_t x = 0; x < p.width; ++x) {
            const kvx::Rgb c = p.pixel(x, y);
            picture.rgb.insert(picture.rgb.end(), {c.r, c.g, c.b});
        }
    std::vector<std::uint8_t> png;
    std::string error;
    ASSERT_TRUE(kvx::encodePng(picture, png, error)) << error;

    // libspng checks every chunk's CRC and, with this flag left off, the stream's Adler-32.
    spng_ctx* ctx = spng_ctx_new(0);
    ASSERT_NE(ctx, nullptr);
    spng_set_crc_action(ctx, SPNG_CRC_ERROR, SPNG_CRC_ERROR);
    spng_set_png_buffer(ctx, png.data(), png.size());
    spng_ihdr ihdr = {};
    ASSERT_EQ(spng_get_ihdr(ctx, &ihdr), 0);
    EXPECT_EQ(ihdr.width, p.width);
    EXPECT_EQ(ihdr.height, p.height);
    EXPECT_EQ(ihdr.bit_depth, 8);
    EXPECT_EQ(ihdr.color_type, SPNG_COLOR_TYPE_TRUECOLOR);
    kvx::PixelBytes decoded(picture.rgb.size());
    ASSERT_EQ(spng_decode_image(ctx, decoded.data(), decoded.size(), SPNG_FMT_RGB8, 0), 0);
    spng_ctx_free(ctx);
    EXPECT_TRUE(decoded == picture.rgb);

    // The image data is a single zlib stream that ends where its chunk does.
    std::vector<std::uint8_t> raw(picture.rgb.size() + p.height + 1);
    uLongf rawSize = static_cast<uLongf>(raw.size());
    const std::size_t idat = 8 + 25;
    const std::uint32_t length =
        std::uint32_t(png[idat]) << 24 | png[idat + 1] << 16 | png[idat + 2] << 8 | png[idat + 3];
    ASSERT_EQ(uncompress(raw.data(), &rawSize, png.data() + idat + 8, length), Z_OK);
    EXPECT_EQ(rawSize, picture.rgb.size() + p.height);
}

// A picture that keeps palette indices is written with its colours: the same file as the
// colours themselves give.
TEST_P(PngWriter, WritesAPictureOfIndicesAsItsColours) {
    const Picture& p = GetParam();
    kvx::RgbPicture indexed;
    indexed.width = p.width;
    indexed.height = p.height;
    indexed.palette.resize(256);
    indexed.indexOffset = 1;
    indexed.indexStride = p.width + 2; // rows apart, as a decoder leaves them
    indexed.indices.assign(1 + indexed.indexStride * p.height, 0);
    std::vector<kvx::Rgb> seen;
    for (std::uint32_t y = 0; y < p.height; ++y)
        for (std::uint32_t x = 0; x < p.width; ++x) {
            const kvx::Rgb c = p.pixel(x, y);
            auto at = std::find(seen.begin(), seen.end(), c);
            if (at == seen.end()) {
                if (seen.size() == 256)
                    GTEST_SKIP() << "more than 256 colours";
                at = seen.insert(seen.end(), c);
            }
            const auto index = static_cast<std::uint8_t>(at - seen.begin());
            indexed.palette[index] = c;
            indexed.indices[1 + y * indexed.indexStride + x] = index;
        }
    std::vector<std::uint8_t> fromIndices, fromColours;
    std::string error;
    ASSERT_TRUE(kvx::encodePng(indexed, fromIndices, error)) << error;
    ASSERT_TRUE(kvx::encodePng(kvx::toRgb(indexed), fromColours, error)) << error;
    EXPECT_TRUE(fromIndices == fromColours);
    // Too few indices for the rows it claims is refused, not read past.
    indexed.indices.resize(1 + (p.height - 1) * indexed.indexStride + p.width - 1);
    EXPECT_FALSE(kvx::encodePng(indexed, fromIndices, error));
}

INSTANTIATE_TEST_SUITE_P(Pictures, PngWriter, ::testing::ValuesIn(kPictures),
                         [](const auto& info) { return std::string(info.param.name); });

// Flat pictures, which previews mostly are, come out far smaller than their pixels.
TEST(PngWriter, PacksRepeatsTightly) {
    kvx::RgbPicture flat;
    flat.width = 256;
    flat.height = 256;
    flat.rgb.assign(256 * 256 * 3, 200);
    std::vector<std::uint8_t> png;
    std::string error;
    ASSERT_TRUE(kvx::encodePng(flat, png, error));
    EXPECT_LT(png.size(), flat.rgb.size() / 100);
}

TEST(PngWriter, RefusesAnEmptyOrInconsistentPicture) {
    std::vector<std::uint8_t> png;
    std::string error;
    EXPECT_FALSE(kvx::encodePng(kvx::RgbPicture{}, png, error));
    kvx::RgbPicture shortRows;
    shortRows.width = 4;
    shortRows.height = 4;
    shortRows.rgb.resize(10);
    EXPECT_FALSE(kvx::encodePng(shortRows, png, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
