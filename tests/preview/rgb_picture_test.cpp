// Fitting a picture into a box, area-averaging resampling and the background colour.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "preview/rgb_picture.h"
#include "preview/rounded_division.h"

namespace {

kvx::RgbPicture noise(std::uint32_t w, std::uint32_t h, unsigned seed) {
    kvx::RgbPicture p;
    p.width = w;
    p.height = h;
    p.rgb.resize(std::size_t(w) * h * 3);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& v : p.rgb) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>(state >> 24);
    }
    return p;
}

// The mean of the source area a target pixel covers, by integrating in floating point.
double referenceArea(const kvx::RgbPicture& src, std::uint32_t w, std::uint32_t h, std::uint32_t tx,
                     std::uint32_t ty, int channel) {
    const double sx = double(src.width) / w, sy = double(src.height) / h;
    const double x0 = tx * sx, x1 = (tx + 1) * sx, y0 = ty * sy, y1 = (ty + 1) * sy;
    double sum = 0, area = 0;
    for (std::uint32_t y = std::uint32_t(y0); y < src.height && y < y1; ++y) {
        const double cy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
        for (std::uint32_t x = std::uint32_t(x0); x < src.width && x < x1; ++x) {
            const double cx = std::min<double>(x + 1, x1) - std::max<double>(x, x0);
            sum += cx * cy * src.rgb[(std::size_t(y) * src.width + x) * 3 + channel];
            area += cx * cy;
        }
    }
    return sum / area;
}

// The same mean computed exactly: overlaps counted in units of 1/target pixel along each axis,
// the sum rounded half up.
std::uint8_t exactArea(const kvx::RgbPicture& src, std::uint32_t w, std::uint32_t h,
                       std::uint32_t tx, std::uint32_t ty, int channel) {
    auto overlap = [](std::uint64_t s, std::uint64_t t, std::uint64_t i, std::uint64_t o) {
        const std::uint64_t lo = std::max(s * t, o * i), hi = std::min((s + 1) * t, (o + 1) * i);
        return hi > lo ? hi - lo : 0;
    };
    std::uint64_t sum = 0;
    for (std::uint32_t y = 0; y < src.height; ++y)
        for (std::uint32_t x = 0; x < src.width; ++x)
            sum += overlap(x, w, src.width, tx) * overlap(y, h, src.height, ty) *
                   src.rgb[(std::size_t(y) * src.width + x) * 3 + channel];
    const std::uint64_t divisor = std::uint64_t(src.width) * src.height;
    return static_cast<std::uint8_t>((sum + divisor / 2) / divisor);
}

struct Resize {
    std::uint32_t sw, sh, tw, th;
};

void PrintTo(const Resize& r, std::ostream* os) {
    *os << r.sw << "x" << r.sh << "-to-" << r.tw << "x" << r.th;
}

// How many bytes of `out`, on a grid of about samples x samples pixels, differ from the exact
// mean.
std::size_t differingFromExact(const kvx::RgbPicture& out, const kvx::RgbPicture& src,
                               const Resize& r, std::uint32_t samples) {
    std::size_t differing = 0;
    for (std::uint32_t y = 0; y < r.th; y += 1 + r.th / samples)
        for (std::uint32_t x = 0; x < r.tw; x += 1 + r.tw / samples)
            for (int c = 0; c < 3; ++c)
                differing += out.rgb[(std::size_t(y) * r.tw + x) * 3 + c] !=
                             exactArea(src, r.tw, r.th, x, y, c);
    return differing;
}

class AreaAveraging : public ::testing::TestWithParam<Resize> {};

TEST_P(AreaAveraging, EveryPixelIsTheMeanOfTheAreaItCovers) {
    const Resize r = GetParam();
    const kvx::RgbPicture src = noise(r.sw, r.sh, r.sw * 31 + r.th);
    const kvx::RgbPicture out = kvx::resampleArea(src, r.tw, r.th);
    ASSERT_EQ(out.width, r.tw);
    ASSERT_EQ(out.height, r.th);
    ASSERT_EQ(out.rgb.size(), std::size_t(r.tw) * r.th * 3);
    double worst = 0;
    for (std::uint32_t y = 0; y < r.th; ++y)
        for (std::uint32_t x = 0; x < r.tw; ++x)
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(out.rgb[(std::size_t(y) * r.tw + x) * 3 + c] -
                                                 referenceArea(src, r.tw, r.th, x, y, c)));
    EXPECT_LE(worst, 0.5 + 1e-9);
    // And to the last bit, ties included, on a sample of pixels.
    EXPECT_EQ(differingFromExact(out, src, r, 16), 0u);
}

// A preview as drawings store them: one background with a few lines and blocks, where most
// target pixels lie in flat colour and only some rows are busy.
kvx::RgbPicture drawingLike(std::uint32_t w, std::uint32_t h, unsigned seed) {
    kvx::RgbPicture p;
    p.width = w;
    p.height = h;
    p.rgb.resize(std::size_t(w) * h * 3);
    for (std::size_t i = 0; i < p.rgb.size(); i += 3) {
        p.rgb[i] = 33;
        p.rgb[i + 1] = 40;
        p.rgb[i + 2] = 48;
    }
    std::uint32_t state = seed * 2654435761u + 7;
    auto next = [&state](std::uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    for (int shape = 0; shape < 12; ++shape) {
        const std::uint32_t x0 = next(w), y0 = next(h);
        const std::uint32_t x1 = std::min(w, x0 + 1 + next(w / 2 + 1));
        const std::uint32_t y1 = std::min(h, y0 + 1 + (shape % 3 ? 0 : next(h / 3 + 1)));
        const std::uint8_t c[3] = {std::uint8_t(next(256)), std::uint8_t(next(256)), 255};
        for (std::uint32_t y = y0; y < y1; ++y)
            for (std::uint32_t x = x0; x < x1; ++x)
                std::copy(c, c + 3, p.rgb.begin() + (std::size_t(y) * w + x) * 3);
    }
    return p;
}

TEST_P(AreaAveraging, FlatPicturesWithLinesAreExactToo) {
    const Resize r = GetParam();
    for (unsigned seed = 1; seed <= 3; ++seed) {
        const kvx::RgbPicture src = drawingLike(r.sw, r.sh, seed * 97 + r.tw);
        const kvx::RgbPicture out = kvx::resampleArea(src, r.tw, r.th);
        ASSERT_EQ(out.rgb.size(), std::size_t(r.tw) * r.th * 3);
        EXPECT_EQ(differingFromExact(out, src, r, r.sw * r.sh > 100000 ? 24 : 400), 0u)
            << "seed " << seed;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, AreaAveraging,
                         ::testing::Values(Resize{8, 4, 4, 2}, Resize{7, 5, 3, 2},
                                           Resize{672, 448, 189, 126}, Resize{852, 448, 240, 126},
                                           Resize{5, 3, 1, 1}, Resize{1, 9, 1, 4},
                                           Resize{3, 2, 7, 5}, Resize{50, 20, 252, 101},
                                           Resize{17, 13, 17, 13}, Resize{600, 580, 280, 290},
                                           Resize{9, 7, 600, 300}, Resize{2, 2, 1, 1},
                                           Resize{3, 40000, 2, 33000}));

// A 49 x 2 picture, top row x and bottom row y, into one pixel, for every x and y: half the
// means land exactly on a half, which rounds up, and 98 is a divisor whose inverse is inexact
// in floating point.
TEST(AreaAveraging, EveryMeanOfTwoRowsRoundsHalvesUp) {
    kvx::RgbPicture rows;
    rows.width = 49;
    rows.height = 2;
    rows.rgb.resize(49 * 2 * 3);
    std::size_t wrong = 0;
    for (unsigned x = 0; x < 256; ++x) {
        for (unsigned y = 0; y < 256; ++y) {
            std::fill(rows.rgb.begin(), rows.rgb.begin() + 49 * 3, static_cast<std::uint8_t>(x));
            std::fill(rows.rgb.begin() + 49 * 3, rows.rgb.end(), static_cast<std::uint8_t>(y));
            wrong += kvx::resampleArea(rows, 1, 1).at(0, 0).r != (x + y + 1) / 2;
        }
    }
    EXPECT_EQ(wrong, 0u);
}

TEST(AreaAveraging, AlternatingColumnsBecomeEvenGrey) {
    kvx::RgbPicture stripes;
    stripes.width = 64;
    stripes.height = 4;
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c)
                stripes.rgb.push_back(x % 2 ? 255 : 0);
    const kvx::RgbPicture out = kvx::resampleArea(stripes, 32, 2);
    for (std::uint8_t v : out.rgb)
        EXPECT_EQ(v, 128);
}

// A picture that keeps indices, rows apart as a decoder leaves them: its colours, its
// reductions and its background are those of the same picture in colours.
TEST(PictureOfIndices, BehavesAsItsColours) {
    for (const std::uint32_t width : {1u, 15u, 16u, 17u, 33u, 250u}) {
        SCOPED_TRACE("width " + std::to_string(width));
        kvx::RgbPicture indexed, colours;
        indexed.width = colours.width = width;
        indexed.height = colours.height = 23;
        indexed.palette.resize(256);
        for (int i = 0; i < 256; ++i)
            indexed.palette[i] = {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)};
        indexed.indexOffset = 3;
        indexed.indexStride = width + 5;
        indexed.indices.assign(3 + indexed.indexStride * 23, 0xEE);
        for (std::uint32_t y = 0; y < 23; ++y)
            for (std::uint32_t x = 0; x < width; ++x) {
                // Runs of one index, rows repeating the row above, and busy stretches.
                const std::uint8_t index =
                    y % 5 == 1 ? std::uint8_t(x * 13 + y)
                               : std::uint8_t(x / 20 + (y / 5) * 3 + (x == y ? 100 : 0));
                indexed.indices[3 + y * indexed.indexStride + x] = index;
                const kvx::Rgb c = indexed.palette[index];
                colours.rgb.insert(colours.rgb.end(), {c.r, c.g, c.b});
            }
        const kvx::RgbPicture expanded = kvx::toRgb(indexed);
        EXPECT_FALSE(expanded.indexed());
        EXPECT_TRUE(expanded.rgb == colours.rgb);
        for (const auto& size :
             {kvx::Size2{width, 23}, kvx::Size2{(width + 2) / 3, 7}, kvx::Size2{width * 2, 40}}) {
            const kvx::RgbPicture a = kvx::resampleArea(indexed, size.width, size.height);
            EXPECT_TRUE(a.rgb == kvx::resampleArea(colours, size.width, size.height).rgb);
            EXPECT_EQ(a.rgb.size(), std::size_t(size.width) * size.height * 3);
        }
        EXPECT_EQ(kvx::backgroundColour(indexed), kvx::backgroundColour(colours));
        EXPECT_EQ(indexed.at(width - 1, 22), colours.at(width - 1, 22));
    }
}

// Rows given as palette indices, with runs of every length, a palette holding one colour
// twice and indices changing at every pixel, give what the same rows in RGB give, and that is
// the exact mean.
class IndexedRows : public ::testing::TestWithParam<Resize> {};

TEST_P(IndexedRows, GiveWhatTheirColoursGive) {
    const Resize r = GetParam();
    kvx::Rgb palette[256];
    for (unsigned i = 0; i < 256; ++i)
        palette[i] = {std::uint8_t(i * 7), std::uint8_t(255 - i), std::uint8_t(i * 13 + 5)};
    palette[9] = palette[4];
    std::vector<std::uint8_t> indices(std::size_t(r.sw) * r.sh);
    std::uint32_t state = r.sw * 977u + r.sh;
    for (std::size_t i = 0; i < indices.size();) {
        state = state * 1664525u + 1013904223u;
        const std::size_t run = state >> 29 == 0 ? 1 : (state >> 20) % 300;
        const auto index = static_cast<std::uint8_t>((state >> 8) % 12);
        for (std::size_t k = 0; k < run && i < indices.size(); ++k, ++i)
            indices[i] = state >> 30 == 1 ? static_cast<std::uint8_t>(i % 2 ? 4 : 9) : index;
    }
    kvx::RgbPicture rgb;
    rgb.width = r.sw;
    rgb.height = r.sh;
    for (std::uint8_t i : indices)
        rgb.rgb.insert(rgb.rgb.end(), {palette[i].r, palette[i].g, palette[i].b});

    kvx::AreaReducer reducer(r.sw, r.sh, r.tw, r.th);
    for (std::uint32_t y = 0; y < r.sh; ++y)
        reducer.addIndexedRow(indices.data() + std::size_t(y) * r.sw, palette);
    const kvx::RgbPicture out = reducer.take();
    const kvx::RgbPicture expected = kvx::resampleArea(rgb, r.tw, r.th);
    ASSERT_EQ(out.width, r.tw);
    ASSERT_EQ(out.height, r.th);
    EXPECT_TRUE(out.rgb == expected.rgb);
    EXPECT_EQ(differingFromExact(out, rgb, r, 8), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, IndexedRows,
                         ::testing::Values(Resize{670, 448, 188, 126}, Resize{852, 448, 240, 126},
                                           Resize{9, 3, 4, 1}, Resize{7, 7, 7, 7},
                                           Resize{16, 16, 250, 120}, Resize{1, 5, 1, 2},
                                           Resize{8192, 2, 252, 1}));

// Whole pictures into one pixel, with sums just below, on and just above the half that
// rounds up, for divisors up to the largest picture (2^24 pixels): the division is exact. Eight
// copies side by side into eight pixels take the vector path where there is one.
TEST(AreaAveraging, RoundsExactlyForEveryPictureSize) {
    struct Size {
        std::uint32_t w, h, copies;
    };
    const Size sizes[] = {{4096, 4096, 1}, {4097, 4095, 1}, {2895, 2897, 1}, {670, 448, 1},
                          {7, 1, 1},       {1, 1, 1},       {3, 1, 1},       {1023, 1025, 8},
                          {1023, 1024, 8}, {1024, 1024, 8}, {670, 448, 8},   {3, 1, 8}};
    kvx::Rgb palette[256];
    palette[1] = {255, 255, 255};
    std::size_t checked = 0, wrong = 0;
    for (const Size& size : sizes) {
        const std::uint32_t w = size.w, h = size.h;
        const std::uint64_t d = std::uint64_t(w) * h;
        std::vector<std::uint64_t> sums = {0, 255 * d};
        for (std::uint64_t q : {0u, 1u, 2u, 127u, 200u, 254u})
            for (std::int64_t delta : {-2, -1, 0, 1, 2}) {
                const std::int64_t n = std::int64_t(q * d + d / 2) + delta;
                if (n >= 0 && std::uint64_t(n) <= 255 * d)
                    sums.push_back(std::uint64_t(n));
            }
        for (const std::uint64_t n : sums) {
            // n / 255 white pixels, then one of the remainder, then black.
            const std::uint64_t white = n / 255;
            const auto rest = static_cast<std::uint8_t>(n % 255);
            palette[2] = {rest, rest, rest};
            kvx::AreaReducer reducer(w * size.copies, h, size.copies, 1);
            std::vector<std::uint8_t> row(std::size_t(w) * size.copies);
            for (std::uint32_t y = 0; y < h; ++y) {
                const std::uint64_t start = std::uint64_t(y) * w;
                const std::uint64_t ones =
                    std::min<std::uint64_t>(w, white > start ? white - start : 0);
                std::fill(row.begin(), row.begin() + std::ptrdiff_t(ones), 1);
                std::fill(row.begin() + std::ptrdiff_t(ones), row.begin() + w, 0);
                if (white >= start && white < start + w)
                    row[white - start] = 2;
                for (std::uint32_t c = 1; c < size.copies; ++c)
                    std::copy(row.begin(), row.begin() + w, row.begin() + std::ptrdiff_t(c * w));
                reducer.addIndexedRow(row.data(), palette);
            }
            const std::uint64_t expected = (n + d / 2) / d;
            const kvx::RgbPicture out = reducer.take();
            for (std::uint8_t v : out.rgb)
                wrong += v != expected;
            ++checked;
        }
    }
    EXPECT_GT(checked, 300u);
    EXPECT_EQ(wrong, 0u);
}

// The division itself, in blocks long enough for the vector path and singly, for divisors on
// both sides of 2^23 (where the vector path stops) up to 2^24: sums at and around every
// rounding boundary and at exact multiples.
TEST(RoundedDivision, IsExactAtEveryBoundary) {
    const std::uint32_t divisors[] = {1,       2,        3,        7,       98,      255,
                                      300160,  1048575,  8388593,  8388607, 8388608, 8388609,
                                      9999991, 16777213, 16777215, 16777216};
    std::size_t checked = 0, wrong = 0;
    for (const std::uint32_t d : divisors) {
        std::vector<std::uint32_t> sums;
        for (std::uint64_t q = 0; q <= 255; q += q < 3 || q > 252 ? 1 : 31)
            for (const std::int64_t delta : {-3, -2, -1, 0, 1, 2, 3}) {
                // Around the half that rounds up, and around the exact multiple.
                for (const std::uint64_t centre : {q * d + d / 2, q * d}) {
                    const std::int64_t n = std::int64_t(centre) + delta;
                    if (n >= 0 && std::uint64_t(n) <= std::uint64_t(255) * d)
                        sums.push_back(std::uint32_t(n));
                }
            }
        const kvx::RoundedDivision divide(d);
        std::vector<std::uint8_t> blocks(sums.size());
        divide.divide(sums.data(), blocks.data(), sums.size());
        for (std::size_t i = 0; i < sums.size(); ++i) {
            const std::uint64_t expected = (std::uint64_t(sums[i]) + d / 2) / d;
            wrong += blocks[i] != expected;
            wrong += divide(sums[i]) != expected;
            ++checked;
        }
    }
    EXPECT_GT(checked, 2000u);
    EXPECT_EQ(wrong, 0u);
}

struct Fit {
    std::uint32_t w, h, bw, bh;
    bool enlarge;
};

void PrintTo(const Fit& f, std::ostream* os) {
    *os << f.w << "x" << f.h << "-into-" << f.bw << "x" << f.bh << (f.enlarge ? "-enlarged" : "");
}

class Fitting : public ::testing::TestWithParam<Fit> {};

TEST_P(Fitting, KeepsTheAspectAndFillsOneSide) {
    const Fit f = GetParam();
    const kvx::Size2 s = kvx::fitInto(f.w, f.h, f.bw, f.bh, f.enlarge);
    ASSERT_GE(s.width, 1u);
    ASSERT_GE(s.height, 1u);
    EXPECT_LE(s.width, f.bw);
    EXPECT_LE(s.height, f.bh);
    const bool fitsAlready = f.w <= f.bw && f.h <= f.bh;
    if (fitsAlready && !f.enlarge) {
        EXPECT_EQ(s.width, f.w);
        EXPECT_EQ(s.height, f.h);
        return;
    }
    EXPECT_TRUE(s.width == f.bw || s.height == f.bh);
    // The short side is the rounded ideal, so the aspect stays within half a pixel.
    const double scale = std::min(double(f.bw) / f.w, double(f.bh) / f.h);
    EXPECT_LE(std::abs(s.width - std::max(1.0, f.w * scale)), 0.5 + 1e-9) << s.width;
    EXPECT_LE(std::abs(s.height - std::max(1.0, f.h * scale)), 0.5 + 1e-9) << s.height;
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, Fitting,
    ::testing::Values(Fit{184, 126, 252, 126, false}, Fit{184, 126, 252, 126, true},
                      Fit{672, 448, 252, 126, false}, Fit{852, 448, 252, 126, false},
                      Fit{50, 20, 252, 126, false}, Fit{50, 20, 252, 126, true},
                      Fit{20, 50, 252, 126, true}, Fit{252, 126, 252, 126, true},
                      Fit{4000, 3, 256, 256, false}, Fit{8192, 8192, 128, 128, false}));

TEST(Fitting, ATinySideNeverVanishes) {
    const kvx::Size2 s = kvx::fitInto(1, 1000, 252, 126, false);
    EXPECT_EQ(s.height, 126u);
    EXPECT_EQ(s.width, 1u);
}

TEST(Background, IsTheCommonestBorderColour) {
    kvx::RgbPicture p;
    p.width = 20;
    p.height = 10;
    p.rgb.assign(20 * 10 * 3, 0); // black inside
    auto set = [&](std::uint32_t x, std::uint32_t y, kvx::Rgb c) {
        const std::size_t i = (std::size_t(y) * 20 + x) * 3;
        p.rgb[i] = c.r;
        p.rgb[i + 1] = c.g;
        p.rgb[i + 2] = c.b;
    };
    const kvx::Rgb blue{10, 20, 200}, red{250, 0, 0};
    for (std::uint32_t x = 0; x < 20; ++x) {
        set(x, 0, blue);
        set(x, 9, blue);
    }
    for (std::uint32_t y = 0; y < 10; ++y) {
        set(0, y, red);
        set(19, y, blue);
    }
    EXPECT_EQ(kvx::backgroundColour(p), blue);
}

} // namespace
