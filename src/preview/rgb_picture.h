#pragma once
// A decoded preview picture and the few operations the views need on it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace kvx {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};

// Bytes that are not cleared when the vector grows: a decoder writes every pixel anyway, and
// clearing a full-size picture first costs as much again.
template <class T> struct UninitialisedAllocator : std::allocator<T> {
    template <class U> struct rebind { using other = UninitialisedAllocator<U>; };
    UninitialisedAllocator() = default;
    template <class U> UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
// GCC 12 at -O3 sees the vector's element-by-element move of its old bytes into a new buffer
// (done for any allocator but std::allocator) as overflowing, even when there are none to move.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
};

using PixelBytes = std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>>;

// A decoded picture. A picture stored as palette indices, or grey levels of up to eight bits,
// may keep them rather than colours: `palette` then holds 256 colours and `rgb` is empty. The
// view and the thumbnails mostly want a reduced picture, which is made from the indices
// directly; toRgb gives the colours when they are needed at full size.
struct RgbPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    PixelBytes rgb;           // rows top to bottom, three bytes per pixel, no padding
    std::vector<Rgb> palette; // 256 colours when the picture keeps indices
    PixelBytes indices;       // row y starts at indexOffset + y * indexStride
    std::size_t indexOffset = 0;
    std::size_t indexStride = 0;

    bool empty() const { return width == 0 || height == 0; }
    bool indexed() const { return !palette.empty(); }
    // Whether the buffers hold every pixel the size says: the colours, or a full palette and
    // every index row.
    bool complete() const {
        if (empty())
            return false;
        if (!indexed())
            return rgb.size() == std::size_t(width) * height * 3;
        return palette.size() == 256 && indexStride >= width &&
               indices.size() >= indexOffset + (height - 1) * indexStride + width;
    }
    const std::uint8_t* indexRow(std::uint32_t y) const {
        return indices.data() + indexOffset + std::size_t(y) * indexStride;
    }
    Rgb at(std::uint32_t x, std::uint32_t y) const {
        if (indexed())
            return palette[indexRow(y)[x]];
        const std::size_t i = (std::size_t(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// The picture with three bytes per pixel: a picture that keeps indices is expanded.
RgbPicture toRgb(RgbPicture picture);

struct Size2 {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The largest size with the picture's aspect ratio that fits the box, at least 1 x 1.
// Without `enlarge` a picture that already fits keeps its own size.
Size2 fitInto(std::uint32_t width, std::uint32_t height, std::uint32_t boxWidth,
              std::uint32_t boxHeight, bool enlarge);

// A box to fit a picture into, as fitInto does; an empty box keeps the picture's own size.
struct FitBox {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool enlarge = false;
    bool empty() const { return width == 0 || height == 0; }
};

// Resamples by area averaging: every target pixel is the mean of the source area it covers,
// partly covered source pixels weighted by their share. Exact in integer arithmetic; pictures
// of more than 2^24 pixels give an empty picture. The result has three bytes per pixel.
RgbPicture resampleArea(const RgbPicture& source, std::uint32_t width, std::uint32_t height);

// The same resampling fed one source row at a time, top to bottom, so that a decoder need not
// hold the full-size picture. Rows are taken apart horizontally first, and only where the colour
// changes along the row: drawings' previews are flat colours with a few lines, so a row costs
// about as much as it has changes, not as many pixels as it has. Rows that change colour at
// most pixels are summed down each column instead, and taken apart along the row once per
// target row. The source picture holds at most 2^24 pixels (kMaxPicturePixels), which keeps
// every sum within 32 bits.
class AreaReducer {
public:
    AreaReducer(std::uint32_t sourceWidth, std::uint32_t sourceHeight, std::uint32_t width,
                std::uint32_t height);
    ~AreaReducer();
    AreaReducer(const AreaReducer&) = delete;
    AreaReducer& operator=(const AreaReducer&) = delete;

    // Adds the next source row of sourceWidth * 3 bytes; it is not needed afterwards.
    void addRow(const std::uint8_t* rgb);
    // Adds the next source row as sourceWidth palette indices into 256 colours.
    void addIndexedRow(const std::uint8_t* indices, const Rgb* palette);
    // The resampled picture, once every source row has been added.
    RgbPicture take();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The picture's background: the commonest colour along its border.
Rgb backgroundColour(const RgbPicture& picture);

} // namespace kvx
