#include "preview/picture_codecs.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <libdeflate.h>

#include "preview/byte_format.h"

namespace kvx {

namespace {

CodecError bmpError(std::uint64_t base, const std::string& what) {
    return {PreviewError::BadBitmap, "BMP entry at " + hex(base) + ": " + what};
}

CodecError pngError(std::uint64_t base, const std::string& what) {
    return {PreviewError::BadPng, "PNG entry at " + hex(base) + ": " + what};
}

CodecError tooLarge(const char* kind, std::uint64_t base, const std::string& what) {
    return {PreviewError::TooLarge, std::string(kind) + " entry at " + hex(base) + ": " + what};
}

std::string limitText() {
    return "at most " + std::to_string(kMaxPictureSide) + " pixels a side and " +
           std::to_string(kMaxPicturePixels) + " pixels in all";
}

bool withinPictureLimits(std::uint64_t width, std::uint64_t height) {
    return width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

// No deflate stream expands more than this: a 258-byte match costs at least two bits.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// What the chunk walk found: the palette and the compressed image data, which may be split
// over several consecutive chunks.
struct PngChunks {
    const std::uint8_t* palette = nullptr;
    std::size_t paletteBytes = 0;
    std::vector<std::pair<std::size_t, std::size_t>> data; // (offset, length) of each IDAT
    std::size_t dataBytes = 0;
};

std::string chunkName(const std::uint8_t* type) {
    return escapeBytes(std::string(reinterpret_cast<const char*>(type), 4));
}

// Walks the chunks after the header, checking each one's checksum and the order of the
// critical ones.
CodecError walkPngChunks(const std::uint8_t* data, std::size_t size, std::uint64_t base,
                         const PngHeader& header, PngChunks& chunks) {
    std::size_t pos = 8;
    bool dataEnded = false;
    while (size - pos >= 12) {
        const std::uint64_t length = be32(data + pos);
        if (length > size - pos - 12)
            return pngError(base, "chunk length " + std::to_string(length) + " at " +
                                      hex(base + pos) + " runs past the entry's " +
                                      std::to_string(size) + " bytes");
        const std::uint8_t* type = data + pos + 4;
        const auto computed = static_cast<std::uint32_t>(
            libdeflate_crc32(0, type, static_cast<std::size_t>(length + 4)));
        const std::uint32_t stored = be32(type + 4 + length);
        if (computed != stored)
            return pngError(base, "checksum " + hex(stored) + " of the chunk at " +
                                      hex(base + pos) + " (expected " + hex(computed) + ")");
        const auto len = static_cast<std::size_t>(length);
        const bool isData = std::memcmp(type, "IDAT", 4) == 0;
        if (std::memcmp(type, "IEND", 4) == 0)
            break;
        if (isData) {
            if (dataEnded)
                return pngError(base, "IDAT chunk at " + hex(base + pos) +
                                          " after other chunks (expected the image data in "
                                          "consecutive chunks)");
            chunks.data.emplace_back(pos + 8, len);
            chunks.dataBytes += len;
        } else if (!chunks.data.empty()) {
            dataEnded = true;
        }
        if (std::memcmp(type, "PLTE", 4) == 0) {
            if (pos == 8 || chunks.palette || !chunks.data.empty() || len == 0 || len % 3 != 0 ||
                len > 768)
                return pngError(base, "PLTE chunk of " + std::to_string(len) + " bytes at " +
                                          hex(base + pos) +
                                          " (expected one palette of 1 to 256 three-byte "
                                          "entries before the image data)");
            chunks.palette = type + 4;
            chunks.paletteBytes = len;
        } else if (pos != 8 && !isData && !(type[0] & 0x20)) {
            // An unknown critical chunk changes the meaning of the picture, a second header
            // contradicts the first.
            return pngError(base, "critical chunk \"" + chunkName(type) + "\" at " +
                                      hex(base + pos) +
                                      " (expected only PLTE, IDAT and IEND after IHDR)");
        }
        pos += 12 + len;
    }
    if (chunks.data.empty())
        return pngError(base, "no IDAT chunk in the entry's " + std::to_string(size) +
                                  " bytes (expected the compressed image data)");
    if (header.colourType == 3 && !chunks.palette)
        return pngError(base, "no PLTE chunk before the image data at " +
                                  hex(base + chunks.data[0].first - 8) +
                                  " (expected a palette for colour type 3)");
    return {};
}

unsigned pngChannels(unsigned colourType) {
    return colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
}

// Undoes one row's filter in place. `prior` is the row above, already unfiltered (zeros for
// the first row); `step` the bytes per whole pixel, at least one.
bool unfilterRow(unsigned filter, std::uint8_t* row, const std::uint8_t* prior, std::size_t n,
                 std::size_t step) {
    switch (filter) {
    case 0:
        break;
    case 1:
        for (std::size_t i = step; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - step]);
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
        break;
    case 3:
        for (std::size_t i = 0; i < step && i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prior[i] / 2);
        for (std::size_t i = step; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + (row[i - step] + prior[i]) / 2);
        break;
    case 4:
        for (std::size_t i = 0; i < step && i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
        for (std::size_t i = step; i < n; ++i) {
            const int a = row[i - step], b = prior[i], c = prior[i - step];
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            const int predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            row[i] = static_cast<std::uint8_t>(row[i] + predicted);
        }
        break;
    default:
        return false;
    }
    return true;
}

// Grey of up to eight bits and palette indices become RGB through a table; samples of eight
// or sixteen bits are read directly, keeping their high byte and dropping any alpha, as
// common decoders' 8-bit RGB output does.
class RowConverter {
public:
    RowConverter(const PngHeader& header, const PngChunks& chunks)
        : m_width(header.width), m_depth(header.bitDepth),
          m_grey(header.colourType == 0 || header.colourType == 4),
          m_table(header.colourType == 3 || (header.colourType == 0 && header.bitDepth <= 8)),
          m_sampleBytes(header.bitDepth / 8),
          m_pixelBytes(pngChannels(header.colourType) * (header.bitDepth / 8)) {
        // Entries past the palette stay black, as Rgb starts.
        if (header.colourType == 3) {
            for (std::size_t i = 0; i < chunks.paletteBytes / 3; ++i)
                m_palette[i] = {chunks.palette[3 * i], chunks.palette[3 * i + 1],
                                chunks.palette[3 * i + 2]};
        } else if (m_table) {
            const unsigned most = (1u << m_depth) - 1;
            for (unsigned v = 0; v <= most; ++v) {
                const auto g = static_cast<std::uint8_t>(v * 255 / most);
                m_palette[v] = {g, g, g};
            }
        }
        for (std::size_t i = 0; i < 256; ++i)
            m_colours[i] = pack(m_palette[i].r, m_palette[i].g, m_palette[i].b);
    }

    // Palette indices and grey levels of up to eight bits go through the palette.
    bool indexed() const { return m_table; }
    const Rgb* palette() const { return m_palette; }
    // The row's indices, one byte each: the row itself at eight bits, else unpacked into
    // `unpacked` (width bytes).
    const std::uint8_t* indices(const std::uint8_t* row, std::uint8_t* unpacked) const {
        if (m_depth == 8)
            return row;
        for (std::uint32_t x = 0; x < m_width; ++x)
            unpacked[x] = static_cast<std::uint8_t>(sampleAt(row, x));
        return unpacked;
    }

    // Converts `width` pixels (the picture's width, or an interlaced pass's).
    void convert(const std::uint8_t* row, std::uint8_t* rgb, std::uint32_t width) const {
        if (m_table) {
            if (width == 0)
                return;
            // Four bytes a pixel, the fourth overwritten by the next one; the last takes three.
            const std::uint32_t last = width - 1;
            if (m_depth == 8) {
                for (std::uint32_t x = 0; x < last; ++x)
                    std::memcpy(rgb + 3 * std::size_t(x), &m_colours[row[x]], 4);
            } else {
                for (std::uint32_t x = 0; x < last; ++x)
                    std::memcpy(rgb + 3 * std::size_t(x), &m_colours[sampleAt(row, x)], 4);
            }
            std::memcpy(rgb + 3 * std::size_t(last), &m_colours[sampleAt(row, last)], 3);
        } else if (m_depth == 8 && !m_grey && m_pixelBytes == 3) {
            std::memcpy(rgb, row, std::size_t(width) * 3);
        } else {
            const std::size_t g = m_grey ? 0 : m_sampleBytes;
            for (std::uint32_t x = 0; x < width; ++x, row += m_pixelBytes, rgb += 3) {
                rgb[0] = row[0];
                rgb[1] = row[g];
                rgb[2] = row[2 * g];
            }
        }
    }

private:
    static std::uint32_t pack(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        const std::uint8_t bytes[4] = {r, g, b, 0};
        std::uint32_t v;
        std::memcpy(&v, bytes, 4);
        return v;
    }
    // A sample of one, two, four or eight bits, the leftmost pixel in the high bits.
    unsigned sampleAt(const std::uint8_t* row, std::uint32_t x) const {
        const std::size_t bit = std::size_t(x) * m_depth;
        return (row[bit / 8] >> (8 - m_depth - bit % 8)) & ((1u << m_depth) - 1);
    }

    std::uint32_t m_width;
    unsigned m_depth;
    bool m_grey, m_table;
    std::size_t m_sampleBytes, m_pixelBytes;
    Rgb m_palette[256];
    std::uint32_t m_colours[256];
};

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// Inflates the image data, which must fill `rawSize` bytes exactly; `layout` says what they
// hold, for the message.
CodecError inflateImageData(const std::uint8_t* data, std::uint64_t base, const PngChunks& chunks,
                            std::size_t rawSize, const std::string& layout, PixelBytes& raw) {
    std::vector<std::uint8_t> joined;
    const std::uint8_t* in = data + chunks.data[0].first;
    if (chunks.data.size() > 1) {
        joined.reserve(chunks.dataBytes);
        for (const auto& piece : chunks.data)
            joined.insert(joined.end(), data + piece.first, data + piece.first + piece.second);
        in = joined.data();
    }
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> inflater(
        libdeflate_alloc_decompressor());
    if (!inflater)
        return pngError(base, "out of memory for the decompressor");
    raw.resize(rawSize); // not cleared: the stream must fill it
    // Without an output count the stream must fill the buffer exactly.
    const libdeflate_result rc = libdeflate_zlib_decompress(inflater.get(), in, chunks.dataBytes,
                                                            raw.data(), rawSize, nullptr);
    if (rc != LIBDEFLATE_SUCCESS) {
        const std::string what =
            "image data of " + std::to_string(chunks.dataBytes) + " bytes at " +
            hex(base + chunks.data[0].first) +
            (chunks.data.size() > 1 ? " in " + std::to_string(chunks.data.size()) + " chunks"
                                    : std::string());
        const std::string expected =
            " (expected " + layout + ", " + std::to_string(rawSize) + " in all)";
        if (rc == LIBDEFLATE_SHORT_OUTPUT)
            return pngError(base,
                            what + " inflates to fewer bytes than the picture needs" + expected);
        if (rc == LIBDEFLATE_INSUFFICIENT_SPACE)
            return pngError(base,
                            what + " inflates to more bytes than the picture needs" + expected);
        return pngError(base, what + " is not a zlib stream with a matching Adler-32");
    }
    return {};
}

std::size_t pngPixelBits(const PngHeader& header) {
    return std::size_t(pngChannels(header.colourType)) * header.bitDepth;
}

std::size_t pngRowBytes(const PngHeader& header, std::uint32_t width) {
    return (std::size_t(width) * pngPixelBits(header) + 7) / 8;
}

// The bytes from one pixel to the same sample of the next, at least one: the row filters'
// step.
std::size_t pngFilterStep(const PngHeader& header) {
    return std::max<std::size_t>(1, pngPixelBits(header) / 8);
}

CodecError decodePngRows(const std::uint8_t* data, std::uint64_t base, const PngHeader& header,
                         const PngChunks& chunks, const Size2& target, RgbPicture& picture) {
    const std::size_t rowBytes = pngRowBytes(header, header.width);
    const std::size_t stride = rowBytes + 1;
    const std::size_t rawSize = stride * header.height;
    PixelBytes raw;
    if (CodecError e = inflateImageData(data, base, chunks, rawSize,
                                        std::to_string(header.height) + " rows of 1 + " +
                                            std::to_string(rowBytes) + " bytes",
                                        raw))
        return e;

    const RowConverter converter(header, chunks);
    const std::vector<std::uint8_t> zeros(rowBytes);
    const std::size_t step = pngFilterStep(header);
    const std::size_t rgbRow = std::size_t(header.width) * 3;
    const bool reduced = target.width != header.width || target.height != header.height;
    // Indices kept at full size: eight-bit ones are the inflated rows themselves, after each
    // row's filter byte; narrower ones are unpacked, a byte each.
    const bool keepIndices = converter.indexed() && !reduced;
    const bool unpack = keepIndices && header.bitDepth < 8;
    // A reduced picture is made one row at a time, without the full-size picture.
    std::unique_ptr<AreaReducer> reducer;
    std::vector<std::uint8_t> line;
    if (reduced) {
        reducer =
            std::make_unique<AreaReducer>(header.width, header.height, target.width, target.height);
        line.resize(converter.indexed() ? header.width : rgbRow);
    } else if (unpack) {
        picture.indices.resize(std::size_t(header.width) * header.height);
    } else if (!keepIndices) {
        picture.rgb.resize(rgbRow * header.height); // not cleared: every row is written below
    }
    for (std::uint32_t y = 0; y < header.height; ++y) {
        std::uint8_t* row = raw.data() + y * stride;
        const std::uint8_t* prior = y == 0 ? zeros.data() : row - stride + 1;
        if (!unfilterRow(row[0], row + 1, prior, rowBytes, step)) {
            picture = {};
            return pngError(base, "filter type " + std::to_string(row[0]) + " of row " +
                                      std::to_string(y) + " at byte " + std::to_string(y * stride) +
                                      " of the inflated image data (expected 0 to 4)");
        }
        if (unpack)
            converter.indices(row + 1, picture.indices.data() + std::size_t(y) * header.width);
        else if (keepIndices)
            continue;
        else if (!reducer)
            converter.convert(row + 1, picture.rgb.data() + y * rgbRow, header.width);
        else if (converter.indexed())
            reducer->addIndexedRow(converter.indices(row + 1, line.data()), converter.palette());
        else {
            converter.convert(row + 1, line.data(), header.width);
            reducer->addRow(line.data());
        }
    }
    if (reducer) {
        picture = reducer->take();
    } else if (keepIndices) {
        picture.palette.assign(converter.palette(), converter.palette() + 256);
        if (unpack) {
            picture.indexStride = header.width;
        } else {
            picture.indices = std::move(raw);
            picture.indexOffset = 1;
            picture.indexStride = stride;
        }
    }
    picture.width = target.width;
    picture.height = target.height;
    return {};
}

// Interlaced pictures store seven reduced pictures (passes), each with its own rows and
// filters, whose pixels interleave into the whole.
CodecError decodeAdam7(const std::uint8_t* data, std::uint64_t base, const PngHeader& header,
                       const PngChunks& chunks, RgbPicture& picture) {
    struct Pass {
        std::uint32_t x0, y0, dx, dy, width = 0, height = 0;
        std::size_t rowBytes = 0;
    };
    Pass passes[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::size_t rawSize = 0;
    for (Pass& p : passes) {
        p.width = header.width > p.x0 ? (header.width - p.x0 + p.dx - 1) / p.dx : 0;
        p.height = header.height > p.y0 ? (header.height - p.y0 + p.dy - 1) / p.dy : 0;
        // An empty pass stores nothing, not even filter bytes.
        if (p.width && p.height) {
            p.rowBytes = pngRowBytes(header, p.width);
            rawSize += (p.rowBytes + 1) * p.height;
        }
    }
    PixelBytes raw;
    if (CodecError e = inflateImageData(data, base, chunks, rawSize,
                                        "seven interlaced passes of rows and filter bytes", raw))
        return e;

    const RowConverter converter(header, chunks);
    const std::size_t step = pngFilterStep(header);
    const std::vector<std::uint8_t> zeros(pngRowBytes(header, header.width));
    std::vector<std::uint8_t> line(std::size_t(header.width) * 3 + 1);
    picture.rgb.resize(std::size_t(header.width) * header.height * 3);
    std::size_t at = 0;
    for (int n = 0; n < 7; ++n) {
        const Pass& p = passes[n];
        if (!p.width || !p.height)
            continue;
        for (std::uint32_t j = 0; j < p.height; ++j, at += p.rowBytes + 1) {
            std::uint8_t* row = raw.data() + at;
            const std::uint8_t* prior = j == 0 ? zeros.data() : row - p.rowBytes;
            if (!unfilterRow(row[0], row + 1, prior, p.rowBytes, step)) {
                picture = {};
                return pngError(base, "filter type " + std::to_string(row[0]) + " of row " +
                                          std::to_string(j) + " of interlaced pass " +
                                          std::to_string(n + 1) + " at byte " + std::to_string(at) +
                                          " of the inflated image data (expected 0 to 4)");
            }
            converter.convert(row + 1, line.data(), p.width);
            std::uint8_t* dst =
                picture.rgb.data() + (std::size_t(p.y0 + j * p.dy) * header.width + p.x0) * 3;
            for (std::uint32_t i = 0; i < p.width; ++i, dst += 3 * p.dx)
                std::memcpy(dst, line.data() + 3 * std::size_t(i), 3);
        }
    }
    return {};
}

} // namespace

CodecError parseBmpHeader(const std::uint8_t* head, std::size_t headSize, std::uint64_t entrySize,
                          std::uint64_t base, BmpLayout& layout) {
    headSize = static_cast<std::size_t>(std::min<std::uint64_t>(headSize, entrySize));
    if (headSize < 4)
        return bmpError(base, "the entry holds " + std::to_string(entrySize) +
                                  " bytes (expected at least a 12-byte header)");
    const std::uint32_t hs = le32(head);
    const bool core = hs == 12;
    if (!core && hs != 40 && hs != 52 && hs != 56 && hs != 64 && hs != 108 && hs != 124)
        return bmpError(base, "header size " + std::to_string(hs) + " at " + hex(base) +
                                  " (expected 12, 40, 52, 56, 64, 108 or 124)");
    if (hs > headSize)
        return bmpError(base, "header size " + std::to_string(hs) + " at " + hex(base) +
                                  " exceeds the entry's " + std::to_string(entrySize) + " bytes");

    std::int64_t width = 0, height = 0;
    unsigned bits = 0;
    std::uint32_t compression = 0, colours = 0;
    std::uint64_t heightAt = 0, bitsAt = 0;
    if (core) {
        width = le16(head + 4);
        height = le16(head + 6);
        bits = le16(head + 10);
        heightAt = base + 6;
        bitsAt = base + 10;
    } else {
        width = static_cast<std::int32_t>(le32(head + 4));
        height = static_cast<std::int32_t>(le32(head + 8));
        bits = le16(head + 14);
        compression = le32(head + 16);
        colours = le32(head + 32);
        heightAt = base + 8;
        bitsAt = base + 14;
    }
    // The plane count is not checked: some writers leave it zero, and it changes nothing.
    if (width <= 0)
        return bmpError(base, "width " + std::to_string(width) + " at " + hex(base + 4) +
                                  " (expected 1 to " + std::to_string(kMaxPictureSide) + ")");
    if (height == 0)
        return bmpError(base, "height 0 at " + hex(heightAt) +
                                  " (expected a row count, negative for top-down rows)");
    const bool topDown = height < 0;
    const std::uint64_t rows = static_cast<std::uint64_t>(topDown ? -height : height);
    const auto columns = static_cast<std::uint64_t>(width);
    if (!withinPictureLimits(columns, rows))
        return tooLarge("BMP", base,
                        "size " + std::to_string(columns) + " x " + std::to_string(rows) + " at " +
                            hex(base + 4) + " (expected " + limitText() + ")");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
        return bmpError(base, "bits per pixel " + std::to_string(bits) + " at " + hex(bitsAt) +
                                  " (expected 1, 4, 8, 24 or 32)");
    if (compression != 0)
        return bmpError(base, "compression " + std::to_string(compression) + " at " +
                                  hex(base + 16) + " (expected 0, uncompressed rows)");

    std::uint64_t declared = colours;
    if (bits <= 8) {
        const std::uint64_t most = std::uint64_t(1) << bits;
        if (colours > most)
            return bmpError(base, "colour count " + std::to_string(colours) + " at " +
                                      hex(base + 32) + " (expected at most " +
                                      std::to_string(most) + " for " + std::to_string(bits) +
                                      " bits per pixel)");
        if (declared == 0)
            declared = most;
    } else if (colours > 256) {
        return bmpError(base, "colour count " + std::to_string(colours) + " at " + hex(base + 32) +
                                  " (expected at most 256)");
    }

    const std::uint64_t stride = (columns * bits + 31) / 32 * 4;
    const std::uint64_t pixelBytes = stride * rows;
    const std::uint64_t available = entrySize - hs;
    if (pixelBytes > available)
        return bmpError(base, std::to_string(columns) + " x " + std::to_string(rows) + " x " +
                                  std::to_string(bits) + " rows need " +
                                  std::to_string(pixelBytes) + " bytes after the " +
                                  std::to_string(hs) + "-byte header, the entry holds only " +
                                  std::to_string(available));
    // The entry's size wins over the colour count: a palette that would leave no room for the
    // rows is taken to be as long as the entry allows, and the rows end the entry.
    const unsigned entryBytes = core ? 3 : 4;
    const std::uint64_t room = available - pixelBytes;
    const std::uint64_t paletteBytes = std::min(declared * entryBytes, room);

    layout.headerSize = hs;
    layout.width = static_cast<std::uint32_t>(columns);
    layout.height = static_cast<std::uint32_t>(rows);
    layout.topDown = topDown;
    layout.bits = bits;
    layout.paletteEntryBytes = entryBytes;
    layout.paletteEntries = static_cast<std::uint32_t>(paletteBytes / entryBytes);
    layout.paletteOffset = hs;
    layout.pixelOffset = hs + paletteBytes;
    layout.stride = stride;
    return {};
}

CodecError decodeBmp(const std::uint8_t* data, std::size_t size, std::uint64_t base,
                     RgbPicture& picture, BmpLayout* layoutOut, const FitBox& fit) {
    BmpLayout layout;
    if (CodecError e = parseBmpHeader(data, std::min(size, kBmpHeaderProbe), size, base, layout))
        return e;

    // Indices past the stored palette show black.
    Rgb palette[256] = {};
    const std::uint32_t entries = std::min<std::uint32_t>(layout.paletteEntries, 256);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t* p =
            data + layout.paletteOffset + std::size_t(i) * layout.paletteEntryBytes;
        palette[i] = {p[2], p[1], p[0]};
    }

    const std::uint32_t w = layout.width, h = layout.height;
    const Size2 target =
        fit.empty() ? Size2{w, h} : fitInto(w, h, fit.width, fit.height, fit.enlarge);
    // A reduced picture is made row by row; palette rows go to it as indices.
    std::unique_ptr<AreaReducer> reducer;
    if (target.width != w || target.height != h)
        reducer = std::make_unique<AreaReducer>(w, h, target.width, target.height);
    std::vector<std::uint8_t> indices(layout.bits < 8 ? w : 0);
    std::vector<std::uint8_t> line(reducer && layout.bits > 8 ? std::size_t(w) * 3 : 0);
    if (!reducer)
        picture.rgb.resize(std::size_t(w) * h * 3); // not cleared: every row is written below
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint32_t stored = layout.topDown ? y : h - 1 - y;
        const std::uint8_t* row = data + layout.pixelOffset + std::size_t(stored) * layout.stride;
        if (layout.bits <= 8) {
            const std::uint8_t* index = row;
            if (layout.bits < 8) {
                const unsigned bits = layout.bits, mask = (1u << bits) - 1;
                for (std::uint32_t x = 0; x < w; ++x) {
                    const std::size_t bit = std::size_t(x) * bits;
                    indices[x] =
                        static_cast<std::uint8_t>(row[bit / 8] >> (8 - bits - bit % 8) & mask);
                }
                index = indices.data();
            }
            if (reducer) {
                reducer->addIndexedRow(index, palette);
                continue;
            }
            std::uint8_t* dst = picture.rgb.data() + std::size_t(y) * w * 3;
            for (std::uint32_t x = 0; x < w; ++x, dst += 3)
                std::memcpy(dst, &palette[index[x]], 3);
            continue;
        }
        std::uint8_t* dst = reducer ? line.data() : picture.rgb.data() + std::size_t(y) * w * 3;
        const unsigned step = layout.bits / 8;
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t* p = row + std::size_t(x) * step;
            dst[3 * x] = p[2];
            dst[3 * x + 1] = p[1];
            dst[3 * x + 2] = p[0];
        }
        if (reducer)
            reducer->addRow(line.data());
    }
    if (reducer)
        picture = reducer->take();
    picture.width = target.width;
    picture.height = target.height;
    if (layoutOut)
        *layoutOut = layout;
    return {};
}

CodecError parsePngHeader(const std::uint8_t* head, std::size_t headSize, std::uint64_t entrySize,
                          std::uint64_t base, PngHeader& header) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    headSize = static_cast<std::size_t>(std::min<std::uint64_t>(headSize, entrySize));
    if (headSize < 8 || std::memcmp(head, kSignature, 8) != 0)
        return pngError(base,
                        "no PNG signature at " + hex(base) + " (expected 89 50 4E 47 0D 0A 1A 0A)");
    if (headSize < kPngHeaderProbe || be32(head + 8) != 13 ||
        std::memcmp(head + 12, "IHDR", 4) != 0)
        return pngError(base, "no 13-byte IHDR chunk at " + hex(base + 8) +
                                  " (expected the image header right after the signature)");
    const std::uint32_t width = be32(head + 16), height = be32(head + 20);
    const unsigned depth = head[24], type = head[25];
    if (width == 0 || height == 0)
        return pngError(base, "size " + std::to_string(width) + " x " + std::to_string(height) +
                                  " at " + hex(base + 16) + " (expected non-zero)");
    if (!withinPictureLimits(width, height))
        return tooLarge("PNG", base,
                        "size " + std::to_string(width) + " x " + std::to_string(height) + " at " +
                            hex(base + 16) + " (expected " + limitText() + ")");
    unsigned channels = 0;
    bool depthOk = false;
    switch (type) {
    case 0:
        channels = 1;
        depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        break;
    case 3:
        channels = 1;
        depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8;
        break;
    case 2:
    case 4:
    case 6:
        channels = type == 2 ? 3 : type == 4 ? 2 : 4;
        depthOk = depth == 8 || depth == 16;
        break;
    default:
        return pngError(base, "colour type " + std::to_string(type) + " at " + hex(base + 25) +
                                  " (expected 0, 2, 3, 4 or 6)");
    }
    if (!depthOk)
        return pngError(base, "bit depth " + std::to_string(depth) + " at " + hex(base + 24) +
                                  " is not allowed with colour type " + std::to_string(type));
    if (head[26] != 0 || head[27] != 0)
        return pngError(base, "compression method " + std::to_string(head[26]) +
                                  " and filter method " + std::to_string(head[27]) + " at " +
                                  hex(base + 26) + " (expected 0 and 0)");
    if (head[28] > 1)
        return pngError(base, "interlace method " + std::to_string(head[28]) + " at " +
                                  hex(base + 28) + " (expected 0 or 1, Adam7)");
    // Even a perfect deflate stream cannot produce more than this from the stored bytes.
    const std::uint64_t rowBytes = (std::uint64_t(width) * channels * depth + 7) / 8 + 1;
    const std::uint64_t rawBytes = rowBytes * height;
    if (rawBytes > kMaxDeflateRatio * entrySize)
        return tooLarge("PNG", base,
                        "size " + std::to_string(width) + " x " + std::to_string(height) + " at " +
                            hex(base + 16) + " needs " + std::to_string(rawBytes) +
                            " bytes of rows, more than the entry's " + std::to_string(entrySize) +
                            " bytes can hold");
    header.width = width;
    header.height = height;
    header.bitDepth = depth;
    header.colourType = type;
    header.interlaced = head[28] == 1;
    return {};
}

CodecError decodePng(const std::uint8_t* data, std::size_t size, std::uint64_t base,
                     RgbPicture& picture, PngHeader* headerOut, const FitBox& fit) {
    PngHeader header;
    if (CodecError e = parsePngHeader(data, std::min(size, kPngHeaderProbe), size, base, header))
        return e;
    // Every chunk's checksum is verified before decoding, ancillary chunks and the chunks after
    // the image data included: altered bytes anywhere mean the entry is damaged.
    PngChunks chunks;
    if (CodecError e = walkPngChunks(data, size, base, header, chunks))
        return e;
    const Size2 target =
        fit.empty() ? Size2{header.width, header.height}
                    : fitInto(header.width, header.height, fit.width, fit.height, fit.enlarge);
    if (header.interlaced) {
        if (CodecError e = decodeAdam7(data, base, header, chunks, picture))
            return e;
        picture.width = header.width;
        picture.height = header.height;
        if (target.width != header.width || target.height != header.height)
            picture = resampleArea(picture, target.width, target.height);
    } else if (CodecError e = decodePngRows(data, base, header, chunks, target, picture)) {
        return e;
    }
    if (headerOut)
        *headerOut = header;
    return {};
}

} // namespace kvx
