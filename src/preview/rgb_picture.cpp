#include "preview/rgb_picture.h"

#include <algorithm>

namespace kvx {

namespace {

// The source pixels one target pixel covers along one axis and how much of each. Measured in
// units of 1/target, a target pixel is `source` units long and a source pixel `target`
// units, so the weights of one target pixel always add up to `source`.
struct AxisSpan {
    std::uint32_t first = 0;
    std::vector<std::uint32_t> weights;
};

std::vector<AxisSpan> axisSpans(std::uint32_t source, std::uint32_t target) {
    std::vector<AxisSpan> spans(target);
    for (std::uint32_t i = 0; i < target; ++i) {
        const std::uint64_t begin = std::uint64_t(i) * source;
        const std::uint64_t end = begin + source;
        const auto first = static_cast<std::uint32_t>(begin / target);
        const auto last = static_cast<std::uint32_t>((end - 1) / target);
        spans[i].first = first;
        for (std::uint32_t j = first; j <= last; ++j) {
            const std::uint64_t lo = std::max(begin, std::uint64_t(j) * target);
            const std::uint64_t hi = std::min(end, std::uint64_t(j + 1) * target);
            spans[i].weights.push_back(static_cast<std::uint32_t>(hi - lo));
        }
    }
    return spans;
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

    const std::vector<AxisSpan> columns = axisSpans(source.width, width);
    const std::vector<AxisSpan> rows = axisSpans(source.height, height);
    const std::uint64_t divisor = std::uint64_t(source.width) * source.height;

    std::vector<std::uint32_t> across(std::size_t(width) * 3);
    std::vector<std::uint64_t> sum(std::size_t(width) * 3);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::fill(sum.begin(), sum.end(), 0);
        const AxisSpan& rowSpan = rows[y];
        for (std::size_t k = 0; k < rowSpan.weights.size(); ++k) {
            const std::uint8_t* line =
                source.rgb.data() + (std::size_t(rowSpan.first) + k) * source.width * 3;
            // One source row reduced across; at most 255 * source.width per channel.
            for (std::uint32_t x = 0; x < width; ++x) {
                const AxisSpan& col = columns[x];
                std::uint32_t r = 0, g = 0, b = 0;
                const std::uint8_t* p = line + std::size_t(col.first) * 3;
                for (std::uint32_t w : col.weights) {
                    r += w * p[0];
                    g += w * p[1];
                    b += w * p[2];
                    p += 3;
                }
                across[x * 3] = r;
                across[x * 3 + 1] = g;
                across[x * 3 + 2] = b;
            }
            const std::uint64_t wy = rowSpan.weights[k];
            for (std::size_t i = 0; i < sum.size(); ++i)
                sum[i] += wy * across[i];
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
