#include "preview/rgb_picture.h"

#include <algorithm>

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

// sum += weight * line. The pointers never overlap; blocks of sixteen let compilers use vector
// code even at -O2, with products of sixteen bits when the weight allows (every reduction to
// at most 257 rows, thumbnails and views among them).
void addWeighted(std::uint32_t* __restrict sum, const std::uint8_t* __restrict line,
                 std::size_t count, std::uint32_t weight) {
    std::size_t i = 0;
    if (weight <= 257) {
        const auto w = static_cast<std::uint16_t>(weight);
        for (; i + 16 <= count; i += 16)
            for (std::size_t j = i; j < i + 16; ++j)
                sum[j] += static_cast<std::uint16_t>(w * line[j]);
    } else {
        for (; i + 16 <= count; i += 16)
            for (std::size_t j = i; j < i + 16; ++j)
                sum[j] += weight * line[j];
    }
    for (; i < count; ++i)
        sum[i] += weight * line[i];
}

// Rounded division by a fixed divisor of at most 2^24 (a picture's pixels) of sums of at most
// 255 times the divisor. The floating-point estimate is off by at most 2^-44 of the quotient,
// which is below 256: it can only fall just short of an exact integer quotient, never reach
// the next one, so one correction upwards makes it exact. Signed, because converting signed
// integers to and from double is one instruction.
class RoundedDivision {
public:
    explicit RoundedDivision(std::uint64_t divisor)
        : m_divisor(static_cast<std::int64_t>(divisor)), m_inverse(1.0 / double(divisor)) {}
    std::uint8_t operator()(std::uint64_t sum) const {
        const std::int64_t n = static_cast<std::int64_t>(sum) + m_divisor / 2;
        auto q = static_cast<std::int64_t>(double(n) * m_inverse);
        q += (q + 1) * m_divisor <= n;
        return static_cast<std::uint8_t>(q);
    }

private:
    std::int64_t m_divisor;
    double m_inverse;
};

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

struct AreaReducer::State {
    std::uint32_t sourceHeight;
    AxisWeights columns, rows;
    RoundedDivision divide;
    std::uint32_t window = 1;
    std::vector<const std::uint8_t*> recent; // the last `window` rows, by row number modulo
    std::uint32_t added = 0;
    std::uint32_t nextTarget = 0;
    std::vector<std::uint32_t> down;
    RgbPicture out;

    State(std::uint32_t sw, std::uint32_t sh, std::uint32_t w, std::uint32_t h)
        : sourceHeight(sh), columns(axisWeights(sw, w)), rows(axisWeights(sh, h)),
          divide(std::uint64_t(sw) * sh), down(std::size_t(sw) * 3) {
        for (std::uint32_t n : rows.count)
            window = std::max(window, n);
        recent.resize(window);
        out.width = w;
        out.height = h;
        out.rgb.resize(std::size_t(w) * h * 3);
    }

    // Target row y, all of whose source rows are among the recent ones. The source rows are
    // weighted and summed down first; the weights of a target row add up to sourceHeight, so
    // a sum stays below 255 * 8192.
    void emit(std::uint32_t y) {
        std::fill(down.begin(), down.end(), 0);
        const std::uint32_t* wy = rows.weight.data() + rows.offset[y];
        for (std::uint32_t k = 0; k < rows.count[y]; ++k)
            addWeighted(down.data(), recent[(rows.first[y] + k) % window], down.size(), wy[k]);
        // Locals, which the byte stores below cannot be assumed to change.
        const RoundedDivision divideSum = divide;
        const std::uint32_t* first = columns.first.data();
        const std::uint32_t* count = columns.count.data();
        const std::uint32_t* offset = columns.offset.data();
        const std::uint32_t* weight = columns.weight.data();
        const std::uint32_t* sums = down.data();
        const std::uint32_t width = out.width;
        std::uint8_t* dst = out.rgb.data() + std::size_t(y) * width * 3;
        for (std::uint32_t x = 0; x < width; ++x, dst += 3) {
            const std::uint32_t* p = sums + std::size_t(first[x]) * 3;
            const std::uint32_t* w = weight + offset[x];
            std::uint64_t r = 0, g = 0, b = 0;
            for (std::uint32_t n = count[x]; n > 0; --n, ++w, p += 3) {
                r += std::uint64_t(*w) * p[0];
                g += std::uint64_t(*w) * p[1];
                b += std::uint64_t(*w) * p[2];
            }
            dst[0] = divideSum(r);
            dst[1] = divideSum(g);
            dst[2] = divideSum(b);
        }
    }
};

AreaReducer::AreaReducer(std::uint32_t sourceWidth, std::uint32_t sourceHeight, std::uint32_t width,
                         std::uint32_t height)
    : m_state(std::make_unique<State>(sourceWidth, sourceHeight, width, height)) {}

AreaReducer::~AreaReducer() = default;

std::uint32_t AreaReducer::window() const {
    return m_state->window;
}

void AreaReducer::addRow(const std::uint8_t* rgb) {
    State& s = *m_state;
    if (s.added == s.sourceHeight)
        return;
    s.recent[s.added % s.window] = rgb;
    const std::uint32_t row = s.added++;
    // Every target row whose last source row this is.
    while (s.nextTarget < s.out.height &&
           s.rows.first[s.nextTarget] + s.rows.count[s.nextTarget] - 1 == row)
        s.emit(s.nextTarget++);
}

RgbPicture AreaReducer::take() {
    return std::move(m_state->out);
}

RgbPicture resampleArea(const RgbPicture& source, std::uint32_t width, std::uint32_t height) {
    if (source.empty() || width == 0 || height == 0)
        return {};
    if (width == source.width && height == source.height)
        return source;
    AreaReducer reducer(source.width, source.height, width, height);
    for (std::uint32_t y = 0; y < source.height; ++y)
        reducer.addRow(source.rgb.data() + std::size_t(y) * source.width * 3);
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
