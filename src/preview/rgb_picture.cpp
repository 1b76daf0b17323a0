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

RgbPicture resampleArea(const RgbPicture& source, std::uint32_t width, std::uint32_t height) {
    RgbPicture out;
    if (source.empty() || width == 0 || height == 0)
        return out;
    if (width == source.width && height == source.height)
        return source;
    out.width = width;
    out.height = height;
    out.rgb.resize(std::size_t(width) * height * 3);

    const AxisWeights columns = axisWeights(source.width, width);
    const AxisWeights rows = axisWeights(source.height, height);
    const std::uint64_t divisor = std::uint64_t(source.width) * source.height;

    // One source row reduced across, at most 255 * source.width per channel. A source row
    // shared by two target rows is reduced once.
    std::vector<std::uint32_t> across(std::size_t(width) * 3);
    std::uint64_t acrossRow = ~std::uint64_t(0);
    auto reduceRow = [&](std::uint32_t sy) {
        const std::uint8_t* line = source.rgb.data() + std::size_t(sy) * source.width * 3;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* p = line + std::size_t(columns.first[x]) * 3;
            const std::uint32_t* w = columns.weight.data() + columns.offset[x];
            std::uint32_t r = 0, g = 0, b = 0;
            for (std::uint32_t n = columns.count[x]; n > 0; --n, ++w, p += 3) {
                r += *w * p[0];
                g += *w * p[1];
                b += *w * p[2];
            }
            across[x * 3] = r;
            across[x * 3 + 1] = g;
            across[x * 3 + 2] = b;
        }
        acrossRow = sy;
    };

    std::vector<std::uint64_t> sum(std::size_t(width) * 3);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::fill(sum.begin(), sum.end(), 0);
        const std::uint32_t* wy = rows.weight.data() + rows.offset[y];
        for (std::uint32_t k = 0; k < rows.count[y]; ++k) {
            const std::uint32_t sy = rows.first[y] + k;
            if (sy != acrossRow)
                reduceRow(sy);
            for (std::size_t i = 0; i < sum.size(); ++i)
                sum[i] += std::uint64_t(wy[k]) * across[i];
        }
        std::uint8_t* dst = out.rgb.data() + std::size_t(y) * width * 3;
        for (std::size_t i = 0; i < sum.size(); ++i)
            dst[i] = static_cast<std::uint8_t>((sum[i] + divisor / 2) / divisor);
    }
    return out;
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
