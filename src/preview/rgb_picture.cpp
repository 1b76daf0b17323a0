#include "preview/rgb_picture.h"
#include "preview/rounded_division.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kvx {

namespace {

// The source pixels each target pixel covers along one axis and how much of each. Measured in
// units of 1/target, a target pixel is `source` units long and a source pixel `target` units,
// so the weights of one target pixel always add up to `source`.
struct AxisWeights {
    std::vector<std::uint32_t> first;  // first source pixel of each target pixel
    std::vector<std::uint32_t> count;  // how many source pixels it covers
    std::vector<std::uint32_t> offset; // where its weights start in `weight`
    std::vector<std::uint32_t> weight;
};

AxisWeights axisWeights(std::uint32_t source, std::uint32_t target) {
    AxisWeights a;
    a.first.resize(target);
    a.count.resize(target);
    a.offset.resize(target);
    a.weight.reserve(std::size_t(source) + target);
    for (std::uint32_t i = 0; i < target; ++i) {
        const std::uint64_t begin = std::uint64_t(i) * source;
        const std::uint64_t end = begin + source;
        const auto first = static_cast<std::uint32_t>(begin / target);
        const auto last = static_cast<std::uint32_t>((end - 1) / target);
        a.first[i] = first;
        a.count[i] = last - first + 1;
        a.offset[i] = static_cast<std::uint32_t>(a.weight.size());
        for (std::uint32_t j = first; j <= last; ++j) {
            const std::uint64_t lo = std::max(begin, std::uint64_t(j) * target);
            const std::uint64_t hi = std::min(end, std::uint64_t(j + 1) * target);
            a.weight.push_back(static_cast<std::uint32_t>(hi - lo));
        }
    }
    return a;
}

} // namespace

Size2 fitInto(std::uint32_t width, std::uint32_t height, std::uint32_t boxWidth,
              std::uint32_t boxHeight, bool enlarge) {
    if (width == 0 || height == 0 || boxWidth == 0 || boxHeight == 0)
        return {};
    if (!enlarge && width <= boxWidth && height <= boxHeight)
        return {width, height};
    const std::uint64_t w = width, h = height;
    Size2 fitted;
    if (w * boxHeight >= h * boxWidth) {
        fitted.width = boxWidth;
        fitted.height = static_cast<std::uint32_t>((h * boxWidth * 2 + w) / (2 * w));
    } else {
        fitted.height = boxHeight;
        fitted.width = static_cast<std::uint32_t>((w * boxHeight * 2 + h) / (2 * h));
    }
    fitted.width = std::max<std::uint32_t>(1, std::min(fitted.width, boxWidth));
    fitted.height = std::max<std::uint32_t>(1, std::min(fitted.height, boxHeight));
    return fitted;
}

// Along a row, target pixel i covers [i * sourceWidth, (i + 1) * sourceWidth) in units of
// 1/width, source pixel x covers [x * width, (x + 1) * width). A row is a step function of
// those units; a step by `delta` at source pixel x, in target pixel k at r units from its
// start, adds (sourceWidth - r) * delta to k and r * delta to k + 1 in the differences of the
// row's target sums. Summing the differences along the row gives the sums. The arithmetic is
// modulo 2^32 throughout: every true sum lies below 255 * 2^24, so the wrapped differences add
// up to it exactly.
struct AreaReducer::State {
    struct Step {
        std::uint32_t k;    // target pixel the step falls in
        std::uint32_t a[3]; // what it adds to k, per channel
        std::uint32_t b[3]; // and to k + 1
    };

    std::uint32_t sourceWidth, sourceHeight;
    AxisWeights rows;
    RoundedDivision divide;
    std::vector<std::uint32_t> stepTarget, stepOffset; // k and r of each source pixel
    std::vector<Step> steps;                           // the current row's
    std::vector<std::uint32_t> differences;            // (width + 1) * 3, the open target row
    std::vector<std::uint8_t> marked;                  // width + 1: has a difference there
    std::vector<std::uint32_t> touched;                // the marked target pixels
    bool busy = false; // too many marks to be worth keeping: every pixel is worked out
    std::vector<std::uint32_t> sums; // width * 3, a finished busy row
    // A row that changes colour at most pixels is summed pixel by pixel instead: added, weighted,
    // to `columns`, the open target row's sums down each source column, four lanes a pixel
    // (red, green, blue, an unused zero). Only when the target row is finished are they taken
    // apart along the row (sumAlong), once for all its source rows. Target pixel k starts
    // `boundaryPart[k]` units into source pixel `boundaryPixel[k]`.
    std::vector<std::uint32_t> boundaryPixel, boundaryPart; // width + 1 each
    std::vector<std::uint32_t> columns, running;            // (sourceWidth + 1) * 4 each
    std::vector<std::uint32_t> direct;                      // width * 3 + 1
    bool hasDirect = false;
    // The palette as four lanes a colour, made again when the palette changes.
    std::vector<std::uint32_t> paletteLanes;
    Rgb paletteSeen[256];
    std::uint32_t lastChanges = 0; // colour changes along the previous row

    // Rows look like the rows above them: one that changed colour at most of its pixels
    // predicts another.
    bool sumNextDirectly() const {
        return !boundaryPixel.empty() && std::uint64_t(lastChanges) * 4 > sourceWidth;
    }

    const std::uint32_t* lanesOf(const Rgb* palette) {
        if (paletteLanes.empty() || std::memcmp(paletteSeen, palette, sizeof paletteSeen) != 0) {
            std::memcpy(paletteSeen, palette, sizeof paletteSeen);
            paletteLanes.assign(256 * 4, 0u);
            for (std::size_t i = 0; i < 256; ++i) {
                paletteLanes[4 * i] = palette[i].r;
                paletteLanes[4 * i + 1] = palette[i].g;
                paletteLanes[4 * i + 2] = palette[i].b;
            }
        }
        return paletteLanes.data();
    }
    std::uint32_t added = 0;
    std::uint32_t nextTarget = 0;
    RgbPicture out;

    State(std::uint32_t sw, std::uint32_t sh, std::uint32_t w, std::uint32_t h)
        : sourceWidth(sw), sourceHeight(sh), rows(axisWeights(sh, h)), divide(sw * sh),
          stepTarget(sw), stepOffset(sw), differences((std::size_t(w) + 1) * 3),
          marked(std::size_t(w) + 1), sums(std::size_t(w) * 3) {
        for (std::uint32_t x = 0; x < sw; ++x) {
            const std::uint64_t unit = std::uint64_t(x) * w;
            stepTarget[x] = static_cast<std::uint32_t>(unit / sw);
            stepOffset[x] = static_cast<std::uint32_t>(unit % sw);
        }
        // Direct rows weigh their colours in 16 bits: a source row's share of a target row is
        // at most `h` units.
        if (w <= sw && h < 32768) {
            boundaryPixel.resize(std::size_t(w) + 1);
            boundaryPart.resize(std::size_t(w) + 1);
            for (std::uint32_t k = 0; k <= w; ++k) {
                const std::uint64_t unit = std::uint64_t(k) * sw;
                boundaryPixel[k] = static_cast<std::uint32_t>(unit / w);
                boundaryPart[k] = static_cast<std::uint32_t>(unit % w);
            }
            columns.resize((std::size_t(sw) + 1) * 4); // the last pixel stays zero
            running.resize((std::size_t(sw) + 1) * 4);
            direct.resize(std::size_t(w) * 3 + 1); // written four lanes at a time
        }
        steps.reserve(64);
        touched.reserve(std::size_t(w) + 1);
        out.width = w;
        out.height = h;
        out.rgb.resize(std::size_t(w) * h * 3);
    }

    // A row summed pixel by pixel; `lanes(x)` gives source pixel x as four lanes, and
    // `changes` says how often the colour changes along the row.
    template <typename Lanes> void sumDirectly(Lanes lanes, std::uint32_t changes) {
        steps.clear();
        lastChanges = changes;
        finishRow([&](std::uint32_t weight) {
            std::uint32_t* const sum = columns.data();
#if defined(__SSE2__)
            // Colours and the weight are below 2^15: one multiply-add of 16-bit halves per pixel.
            const __m128i times = _mm_set1_epi32(static_cast<int>(weight));
            for (std::uint32_t x = 0; x < sourceWidth; ++x) {
                auto* const p = reinterpret_cast<__m128i*>(sum + std::size_t(x) * 4);
                _mm_storeu_si128(
                    p, _mm_add_epi32(_mm_loadu_si128(p), _mm_madd_epi16(lanes(x), times)));
            }
#else
            for (std::uint32_t x = 0; x < sourceWidth; ++x) {
                const std::uint32_t* const c = lanes(x);
                std::uint32_t* const p = sum + std::size_t(x) * 4;
                p[0] += weight * c[0];
                p[1] += weight * c[1];
                p[2] += weight * c[2];
            }
#endif
            hasDirect = true;
        });
    }

    // `columns` taken apart along the row into `direct`. With the running integral
    // I(u) = width * (sum of the columns before u's) + (u's part of its own) * its sum, target
    // pixel k's sum is I((k + 1) * sourceWidth) - I(k * sourceWidth): one pass along the source,
    // one along the target, and no branch that depends on where a source pixel falls. The
    // integral wraps modulo 2^32; the differences, each below 2^32, do not.
    void sumAlong() {
        const std::uint32_t w = out.width;
        std::uint32_t* const run = running.data();
        const std::uint32_t* const own = columns.data();
        std::uint32_t* const sum = direct.data();
        const std::uint32_t* const pixel = boundaryPixel.data();
        const std::uint32_t* const part = boundaryPart.data();
#if defined(__SSE2__)
        auto load = [](const std::uint32_t* p) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        };
        // The low 32 bits of each lane's product (SSE2 multiplies only lanes 0 and 2).
        auto times = [](__m128i a, __m128i b) {
            const __m128i even = _mm_mul_epu32(a, b);
            const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
            return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                      _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
        };
        const __m128i width = _mm_set1_epi32(static_cast<int>(w));
        __m128i total = _mm_setzero_si128();
        for (std::uint32_t x = 0; x <= sourceWidth; ++x) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(run + std::size_t(x) * 4), total);
            total = _mm_add_epi32(total, times(load(own + std::size_t(x) * 4), width));
        }
        __m128i at = _mm_setzero_si128(); // I at the open target's start
        for (std::uint32_t k = 0; k < w; ++k) {
            const std::size_t j = std::size_t(pixel[k + 1]) * 4;
            const __m128i end = _mm_add_epi32(
                load(run + j), times(load(own + j), _mm_set1_epi32(static_cast<int>(part[k + 1]))));
            // Four lanes stored, the fourth overwritten by the next target pixel.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sum + std::size_t(k) * 3),
                             _mm_sub_epi32(end, at));
            at = end;
        }
#else
        std::uint32_t r = 0, g = 0, b = 0;
        for (std::uint32_t x = 0; x <= sourceWidth; ++x) {
            std::uint32_t* const p = run + std::size_t(x) * 4;
            const std::uint32_t* const q = own + std::size_t(x) * 4;
            p[0] = r, p[1] = g, p[2] = b;
            r += w * q[0];
            g += w * q[1];
            b += w * q[2];
        }
        std::uint32_t at[3] = {0, 0, 0};
        for (std::uint32_t k = 0; k < w; ++k) {
            const std::size_t j = std::size_t(pixel[k + 1]) * 4;
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t end = run[j + c] + part[k + 1] * own[j + c];
                sum[std::size_t(k) * 3 + c] = end - at[c];
                at[c] = end;
            }
        }
#endif
        std::fill(columns.begin(), columns.end(), 0u);
        hasDirect = false;
    }

    void step(std::uint32_t x, const Rgb& from, const Rgb& to) {
        const std::int32_t d[3] = {std::int32_t(to.r) - from.r, std::int32_t(to.g) - from.g,
                                   std::int32_t(to.b) - from.b};
        const auto r = static_cast<std::int32_t>(stepOffset[x]);
        const auto rest = static_cast<std::int32_t>(sourceWidth) - r;
        // Filled in place: a step built aside and copied in stalls on the copy.
        Step& s = steps.emplace_back();
        s.k = stepTarget[x];
        for (int c = 0; c < 3; ++c) {
            s.a[c] = static_cast<std::uint32_t>(rest * d[c]);
            s.b[c] = static_cast<std::uint32_t>(r * d[c]);
        }
    }

    // Adds the current row's steps, weighted, to every target row it belongs to, and finishes
    // each target row whose last source row this is. `addDirect(weight)` adds a row summed
    // pixel by pixel.
    void finishRow() {
        finishRow([](std::uint32_t) {});
    }
    template <typename AddDirect> void finishRow(AddDirect addDirect) {
        if (added == sourceHeight)
            return;
        const std::uint32_t y = added++;
        const std::uint32_t height = out.height;
        while (nextTarget < height && rows.first[nextTarget] <= y) {
            const std::uint32_t t = nextTarget;
            const std::uint32_t w = rows.weight[rows.offset[t] + (y - rows.first[t])];
            std::uint32_t* d = differences.data();
            addDirect(w);
            if (!busy && (touched.size() + 2 * steps.size()) * 4 > out.width)
                busy = true;
            if (!busy)
                for (const Step& s : steps) {
                    mark(s.k);
                    mark(s.k + 1);
                }
            for (const Step& s : steps) {
                std::uint32_t* p = d + std::size_t(s.k) * 3;
                p[0] += w * s.a[0];
                p[1] += w * s.a[1];
                p[2] += w * s.a[2];
                p[3] += w * s.b[0];
                p[4] += w * s.b[1];
                p[5] += w * s.b[2];
            }
            if (rows.first[t] + rows.count[t] - 1 != y)
                break;
            emit(t);
            ++nextTarget;
        }
    }

    void mark(std::uint32_t k) {
        if (!marked[k]) {
            marked[k] = 1;
            touched.push_back(k);
        }
    }

    // Between two marked target pixels the sums do not change, and neither does the colour:
    // a row of a flat preview costs a few divisions and a few fills, not one per pixel.
    void emit(std::uint32_t t) {
        const std::uint32_t width = out.width;
        if (busy || hasDirect)
            return emitEvery(t);
        std::sort(touched.begin(), touched.end());
        std::uint8_t* row = out.rgb.data() + std::size_t(t) * width * 3;
        std::uint32_t sum[3] = {0, 0, 0};
        std::uint32_t from = 0;
        for (std::size_t i = 0;; ++i) {
            const std::uint32_t to = i < touched.size() ? std::min(touched[i], width) : width;
            if (to > from) {
                const std::uint8_t colour[3] = {divide(sum[0]), divide(sum[1]), divide(sum[2])};
                fill(row + std::size_t(from) * 3, colour, to - from);
            }
            if (to == width)
                break;
            const std::uint32_t* d = differences.data() + std::size_t(to) * 3;
            for (int c = 0; c < 3; ++c)
                sum[c] += d[c];
            from = to;
        }
        for (const std::uint32_t k : touched) {
            marked[k] = 0;
            std::fill_n(differences.data() + std::size_t(k) * 3, 3, 0u);
        }
        touched.clear();
    }

    // A busy row: every sum, and every division, in blocks.
    void emitEvery(std::uint32_t t) {
        const std::uint32_t width = out.width;
        const std::size_t n = std::size_t(width) * 3;
        std::uint8_t* const row = out.rgb.data() + std::size_t(t) * n;
        const bool withDirect = hasDirect;
        if (withDirect)
            sumAlong();
        if (withDirect && !busy && touched.empty()) {
            // Only rows summed pixel by pixel went into this one: their sums are all of it.
            divide.divide(direct.data(), row, n);
            return;
        }
        const std::uint32_t* d = differences.data();
        std::uint32_t* sum = sums.data();
        std::uint32_t r = 0, g = 0, b = 0;
        for (std::uint32_t i = 0; i < width; ++i, d += 3, sum += 3) {
            sum[0] = r += d[0];
            sum[1] = g += d[1];
            sum[2] = b += d[2];
        }
        if (withDirect) {
            std::uint32_t* __restrict const to = sums.data();
            const std::uint32_t* __restrict const from = direct.data();
            for (std::size_t i = 0; i < n; ++i)
                to[i] += from[i];
        }
        divide.divide(sums.data(), row, n);
        std::fill(differences.begin(), differences.end(), 0u);
        for (const std::uint32_t k : touched)
            marked[k] = 0;
        touched.clear();
        busy = false;
    }

    // `count` pixels of one colour, eight at a time in three words built in registers (a
    // pattern written byte by byte and read back whole stalls on every read).
    static void fill(std::uint8_t* dst, const std::uint8_t colour[3], std::uint32_t count) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        const std::uint32_t r = colour[0], g = colour[1], b = colour[2];
        const std::uint64_t w0 = r | g << 8 | b << 16 | r << 24; // r g b r
        const std::uint64_t w1 = g | b << 8 | r << 16 | g << 24; // g b r g
        const std::uint64_t w2 = b | r << 8 | g << 16 | b << 24; // b r g b
        const std::uint64_t q0 = w0 | w1 << 32, q1 = w2 | w0 << 32, q2 = w1 | w2 << 32;
        for (; count >= 8; count -= 8, dst += 24) {
            std::memcpy(dst, &q0, 8);
            std::memcpy(dst + 8, &q1, 8);
            std::memcpy(dst + 16, &q2, 8);
        }
#endif
        for (; count > 0; --count, dst += 3) {
            dst[0] = colour[0];
            dst[1] = colour[1];
            dst[2] = colour[2];
        }
    }
};

namespace {

// How often the colour changes along a row of `n` three-byte pixels, the first pixel counted.
std::uint32_t colourChanges(const std::uint8_t* rgb, std::uint32_t n) {
    std::uint32_t changes = 1;
    for (std::uint32_t x = 1; x < n; ++x)
        changes += std::memcmp(rgb + 3 * std::size_t(x), rgb + 3 * std::size_t(x) - 3, 3) != 0;
    return changes;
}

// The same along a row of indices. Two indices of one colour count as a change: the count
// only chooses how the next row is summed.
std::uint32_t indexChanges(const std::uint8_t* indices, std::uint32_t n) {
    std::uint32_t changes = 1, x = 1;
#if defined(__SSE2__)
    for (; x + 16 <= n; x += 16) {
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(indices + x - 1));
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(indices + x));
        changes += static_cast<std::uint32_t>(__builtin_popcount(
            ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(before, here))) & 0xFFFFu));
    }
#endif
    for (; x < n; ++x)
        changes += indices[x] != indices[x - 1];
    return changes;
}

} // namespace

AreaReducer::AreaReducer(std::uint32_t sourceWidth, std::uint32_t sourceHeight, std::uint32_t width,
                         std::uint32_t height)
    : m_state(std::make_unique<State>(sourceWidth, sourceHeight, width, height)) {}

AreaReducer::~AreaReducer() = default;

void AreaReducer::addRow(const std::uint8_t* rgb) {
    State& s = *m_state;
    auto colour = [rgb](std::uint32_t x) {
        return Rgb{rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]};
    };
    if (s.sumNextDirectly()) {
        const std::uint32_t n = s.sourceWidth;
#if defined(__SSE2__)
        return s.sumDirectly(
            [=](std::uint32_t x) {
                std::uint32_t bytes = 0; // the pixel's three, and no byte beyond the row
                if (x + 1 < n)
                    std::memcpy(&bytes, rgb + 3 * std::size_t(x), 4);
                else
                    std::memcpy(&bytes, rgb + 3 * std::size_t(x), 3);
                const __m128i zero = _mm_setzero_si128();
                const __m128i v = _mm_cvtsi32_si128(static_cast<int>(bytes & 0xFFFFFFu));
                return _mm_unpacklo_epi16(_mm_unpacklo_epi8(v, zero), zero);
            },
            colourChanges(rgb, n));
#else
        std::uint32_t c[4] = {0, 0, 0, 0};
        return s.sumDirectly(
            [&](std::uint32_t x) {
                c[0] = rgb[3 * x], c[1] = rgb[3 * x + 1], c[2] = rgb[3 * x + 2];
                return static_cast<const std::uint32_t*>(c);
            },
            colourChanges(rgb, n));
#endif
    }
    s.steps.clear();
    const std::uint32_t n = s.sourceWidth;
    s.step(0, Rgb{}, colour(0));
    auto change = [&](std::uint32_t x) {
        const Rgb from = colour(x - 1), to = colour(x);
        if (from != to)
            s.step(x, from, to);
    };
    std::uint32_t x = 1;
#if defined(__SSE2__)
    // Five pixels (fifteen bytes) compared with the five before them at once.
    for (; 3 * std::size_t(x) + 16 <= 3 * std::size_t(n); x += 5) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 3 * x));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 3 * x - 3));
        if ((_mm_movemask_epi8(_mm_cmpeq_epi8(here, before)) & 0x7FFF) != 0x7FFF)
            for (std::uint32_t k = x; k < x + 5; ++k)
                change(k);
    }
#endif
    for (; x < n; ++x)
        change(x);
    s.lastChanges = static_cast<std::uint32_t>(s.steps.size());
    s.finishRow();
}

void AreaReducer::addIndexedRow(const std::uint8_t* indices, const Rgb* palette) {
    State& s = *m_state;
    if (s.sumNextDirectly()) {
        const std::uint32_t* const lanes = s.lanesOf(palette);
#if defined(__SSE2__)
        return s.sumDirectly(
            [=](std::uint32_t x) {
                return _mm_loadu_si128(
                    reinterpret_cast<const __m128i*>(lanes + 4 * std::size_t(indices[x])));
            },
            indexChanges(indices, s.sourceWidth));
#else
        return s.sumDirectly([=](std::uint32_t x) { return lanes + 4 * std::size_t(indices[x]); },
                             indexChanges(indices, s.sourceWidth));
#endif
    }
    s.steps.clear();
    const std::uint32_t n = s.sourceWidth;
    s.step(0, Rgb{}, palette[indices[0]]);
    auto change = [&](std::uint32_t x) {
        const Rgb& from = palette[indices[x - 1]];
        const Rgb& to = palette[indices[x]];
        if (from != to)
            s.step(x, from, to);
    };
    std::uint32_t x = 1;
#if defined(__SSE2__)
    // Sixteen neighbours compared at once: long runs of one index cost next to nothing.
    for (; x + 16 <= n; x += 16) {
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(indices + x - 1));
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(indices + x));
        auto differ =
            static_cast<unsigned>(~_mm_movemask_epi8(_mm_cmpeq_epi8(before, here))) & 0xFFFFu;
        for (; differ != 0; differ &= differ - 1)
            change(x + static_cast<std::uint32_t>(__builtin_ctz(differ)));
    }
#elif defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; x + 8 <= n; x += 8) {
        std::uint64_t before, here;
        std::memcpy(&before, indices + x - 1, 8);
        std::memcpy(&here, indices + x, 8);
        for (std::uint64_t diff = before ^ here; diff != 0;) {
            const unsigned byte = static_cast<unsigned>(__builtin_ctzll(diff)) / 8;
            change(x + byte);
            diff &= ~(std::uint64_t(0xFF) << (8 * byte));
        }
    }
#endif
    for (; x < n; ++x)
        if (indices[x] != indices[x - 1])
            change(x);
    s.lastChanges = static_cast<std::uint32_t>(s.steps.size());
    s.finishRow();
}

RgbPicture AreaReducer::take() {
    return std::move(m_state->out);
}

namespace {

// Index rows into colours, for previews: mostly runs of one index, and rows that repeat the
// row above. Sixteen pixels at a time are either one colour, stored as 48 bytes at once, or
// the same as above, copied; only the rest goes pixel by pixel.
class IndexExpander {
public:
    explicit IndexExpander(const std::vector<Rgb>& palette) : m_palette(palette) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint8_t bytes[4] = {palette[i].r, palette[i].g, palette[i].b, 0};
            std::memcpy(&m_colours[i], bytes, 4);
        }
    }

    // `above` and `aboveRgb` are the previous row's indices and colours, or null. Kept out of
    // line: inlined into the loop over rows, its registers spill through the stack.
    [[gnu::noinline]] void expand(const std::uint8_t* row, const std::uint8_t* above,
                                  const std::uint8_t* aboveRgb, std::uint8_t* rgb,
                                  std::uint32_t width) {
        if (width == 0)
            return;
        // Four bytes a pixel, the fourth overwritten by the next one; the last takes three.
        const std::uint32_t last = width - 1;
        std::uint32_t x = 0;
#if defined(__SSE2__)
        for (; x + 16 <= last; x += 16) {
            const __m128i indices = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            std::uint8_t* out = rgb + 3 * std::size_t(x);
            if (above) {
                const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x));
                if (_mm_movemask_epi8(_mm_cmpeq_epi8(indices, before)) == 0xFFFF) {
                    std::memcpy(out, aboveRgb + 3 * std::size_t(x), 48);
                    continue;
                }
            }
            // Broadcast through a general register: a byte stored and read back as more stalls.
            const __m128i first =
                _mm_shuffle_epi32(_mm_cvtsi32_si128(static_cast<int>(row[x] * 0x01010101u)), 0);
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(indices, first)) == 0xFFFF) {
                std::memcpy(out, patternOf(row[x]), 48);
                continue;
            }
            for (std::uint32_t k = x; k < x + 16; ++k)
                std::memcpy(rgb + 3 * std::size_t(k), &m_colours[row[k]], 4);
        }
#else
        (void)above;
        (void)aboveRgb;
#endif
        for (; x < last; ++x)
            std::memcpy(rgb + 3 * std::size_t(x), &m_colours[row[x]], 4);
        std::memcpy(rgb + 3 * std::size_t(last), &m_colours[row[last]], 3);
    }

private:
    // Sixteen pixels of one colour, made when first needed.
    const std::uint8_t* patternOf(std::uint8_t index) {
        if (m_patterns.empty())
            m_patterns.resize(256 * 48);
        std::uint8_t* p = m_patterns.data() + index * 48;
        if (!m_patternMade[index]) {
            for (int k = 0; k < 16; ++k)
                std::memcpy(p + 3 * k, &m_palette[index], 3);
            m_patternMade[index] = true;
        }
        return p;
    }

    const std::vector<Rgb>& m_palette;
    std::uint32_t m_colours[256];
    std::vector<std::uint8_t> m_patterns;
    bool m_patternMade[256] = {};
};

// The colours of a picture that keeps indices.
RgbPicture expanded(const RgbPicture& picture) {
    RgbPicture out;
    out.width = picture.width;
    out.height = picture.height;
    const std::size_t rgbRow = std::size_t(picture.width) * 3;
    out.rgb.resize(rgbRow * picture.height); // not cleared: every row is written below
    IndexExpander expander(picture.palette);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        std::uint8_t* rgb = out.rgb.data() + y * rgbRow;
        const bool first = y == 0;
        expander.expand(picture.indexRow(y), first ? nullptr : picture.indexRow(y - 1),
                        first ? nullptr : rgb - rgbRow, rgb, picture.width);
    }
    return out;
}

} // namespace

RgbPicture toRgb(RgbPicture picture) {
    return picture.indexed() ? expanded(picture) : picture;
}

RgbPicture resampleArea(const RgbPicture& source, std::uint32_t width, std::uint32_t height) {
    // Larger pictures than any decoder gives would overflow the exact sums.
    if (source.empty() || width == 0 || height == 0 ||
        std::uint64_t(source.width) * source.height > (std::uint64_t(1) << 24))
        return {};
    if (width == source.width && height == source.height)
        return source.indexed() ? expanded(source) : source;
    AreaReducer reducer(source.width, source.height, width, height);
    for (std::uint32_t y = 0; y < source.height; ++y) {
        if (source.indexed())
            reducer.addIndexedRow(source.indexRow(y), source.palette.data());
        else
            reducer.addRow(source.rgb.data() + std::size_t(y) * source.width * 3);
    }
    return reducer.take();
}

Rgb backgroundColour(const RgbPicture& picture) {
    if (picture.empty())
        return {255, 255, 255};
    std::vector<std::uint32_t> border;
    auto add = [&](std::uint32_t x, std::uint32_t y) {
        const Rgb c = picture.at(x, y);
        border.push_back(std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b);
    };
    for (std::uint32_t x = 0; x < picture.width; ++x) {
        add(x, 0);
        add(x, picture.height - 1);
    }
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        add(0, y);
        add(picture.width - 1, y);
    }
    std::sort(border.begin(), border.end());
    std::uint32_t best = border.front();
    std::size_t bestRun = 0;
    for (std::size_t i = 0; i < border.size();) {
        std::size_t j = i;
        while (j < border.size() && border[j] == border[i])
            ++j;
        if (j - i > bestRun) {
            bestRun = j - i;
            best = border[i];
        }
        i = j;
    }
    return {static_cast<std::uint8_t>(best >> 16), static_cast<std::uint8_t>(best >> 8),
            static_cast<std::uint8_t>(best)};
}

} // namespace kvx
