#include "support/dwg_builder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include <zlib.h>

namespace kvxtest {

namespace {

const std::uint8_t kSentinel[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                    0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};

void add16(Bytes& b, std::uint32_t v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}

void add32(Bytes& b, std::uint32_t v) {
    add16(b, v & 0xFFFF);
    add16(b, v >> 16);
}

void add32be(Bytes& b, std::uint32_t v) {
    b.push_back(std::uint8_t(v >> 24));
    b.push_back(std::uint8_t(v >> 16));
    b.push_back(std::uint8_t(v >> 8));
    b.push_back(std::uint8_t(v));
}

void pngChunk(Bytes& out, const char* type, const Bytes& data) {
    add32be(out, static_cast<std::uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    add32be(out, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// Filler that looks like drawing data: never all zero, never the sentinel.
void addBody(Bytes& b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        b.push_back(static_cast<std::uint8_t>((i * 37 + 11) & 0xFF));
}

} // namespace

Image::Image(std::uint32_t w, std::uint32_t h, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    : width(w), height(h), rgb(std::size_t(w) * h * 3) {
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = r;
        rgb[i + 1] = g;
        rgb[i + 2] = b;
    }
}

void Image::set(std::uint32_t x, std::uint32_t y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const std::size_t i = (std::size_t(y) * width + x) * 3;
    rgb[i] = r;
    rgb[i + 1] = g;
    rgb[i + 2] = b;
}

std::uint32_t Image::at(std::uint32_t x, std::uint32_t y) const {
    const std::size_t i = (std::size_t(y) * width + x) * 3;
    return std::uint32_t(rgb[i]) << 16 | std::uint32_t(rgb[i + 1]) << 8 | rgb[i + 2];
}

void Image::fillRect(std::uint32_t x0, std::uint32_t y0, std::uint32_t w, std::uint32_t h,
                     std::uint32_t colour) {
    for (std::uint32_t y = y0; y < y0 + h && y < height; ++y)
        for (std::uint32_t x = x0; x < x0 + w && x < width; ++x)
            set(x, y, std::uint8_t(colour >> 16), std::uint8_t(colour >> 8), std::uint8_t(colour));
}

Image Image::pattern(std::uint32_t w, std::uint32_t h, unsigned colours) {
    Image image(w, h);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            const unsigned k = (x * 7 + y * 13 + (x * y) % 5 + (x > y ? 1 : 0)) % colours;
            // Distinct colours, also when reduced to their red channel.
            image.set(x, y, std::uint8_t(255 - k * 255 / std::max(1u, colours - 1)),
                      std::uint8_t(k * 97), std::uint8_t(k * 31 + 7));
        }
    }
    return image;
}

Bytes makeBmp(const Image& image, const BmpOptions& o) {
    std::vector<std::uint32_t> palette;
    std::map<std::uint32_t, std::uint32_t> index;
    if (o.bits <= 8) {
        for (std::uint32_t y = 0; y < image.height; ++y)
            for (std::uint32_t x = 0; x < image.width; ++x)
                if (index.emplace(image.at(x, y), std::uint32_t(palette.size())).second)
                    palette.push_back(image.at(x, y));
        if (palette.size() > (1u << o.bits))
            throw std::invalid_argument("too many colours for the bit depth");
        const std::size_t wanted = o.paletteSize ? o.paletteSize : palette.size();
        if (wanted < palette.size())
            throw std::invalid_argument("palette smaller than the image's colours");
        palette.resize(wanted, 0x000000);
    }
    const std::uint32_t stride = (image.width * o.bits + 31) / 32 * 4;
    Bytes rows;
    for (std::uint32_t i = 0; i < image.height; ++i) {
        const std::uint32_t y = o.topDown ? i : image.height - 1 - i;
        Bytes row(stride, 0);
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::uint32_t c = image.at(x, y);
            switch (o.bits) {
            case 1:
            case 4:
            case 8: {
                const unsigned perByte = 8 / o.bits;
                const unsigned shift = (perByte - 1 - x % perByte) * o.bits;
                row[x / perByte] |= std::uint8_t(index.at(c) << shift);
                break;
            }
            case 24:
            case 32: {
                const std::size_t at = std::size_t(x) * (o.bits / 8);
                row[at] = std::uint8_t(c);
                row[at + 1] = std::uint8_t(c >> 8);
                row[at + 2] = std::uint8_t(c >> 16);
                if (o.bits == 32)
                    row[at + 3] = 0x5A; // whatever the fourth byte holds is not alpha
                break;
            }
            default:
                throw std::invalid_argument("bit depth");
            }
        }
        rows.insert(rows.end(), row.begin(), row.end());
    }

    Bytes out;
    const std::int64_t colourCount =
        o.colourCount >= 0 ? o.colourCount : static_cast<std::int64_t>(palette.size());
    if (o.coreHeader) {
        add32(out, 12);
        add16(out, image.width);
        add16(out, image.height); // the core header knows only bottom-up rows
        add16(out, 1);
        add16(out, o.bits);
    } else {
        add32(out, 40);
        add32(out, image.width);
        add32(out,
              o.topDown ? std::uint32_t(-std::int64_t(image.height)) : std::uint32_t(image.height));
        add16(out, 1);
        add16(out, o.bits);
        add32(out, 0); // uncompressed
        add32(out, o.sizeImage >= 0 ? std::uint32_t(o.sizeImage) : std::uint32_t(rows.size()));
        add32(out, 2835);
        add32(out, 2835);
        add32(out, std::uint32_t(colourCount));
        add32(out, 0);
    }
    for (std::uint32_t c : palette) {
        out.push_back(std::uint8_t(c));
        out.push_back(std::uint8_t(c >> 8));
        out.push_back(std::uint8_t(c >> 16));
        if (!o.coreHeader)
            out.push_back(0);
    }
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

namespace {

// Applies a PNG row filter to one row of bytes; `prior` is the unfiltered row above (empty for
// the first row of a pass) and `step` the bytes per whole pixel.
Bytes filterRow(unsigned type, const Bytes& row, const Bytes& prior, std::size_t step) {
    Bytes out{std::uint8_t(type)};
    for (std::size_t i = 0; i < row.size(); ++i) {
        const int a = i >= step ? row[i - step] : 0;
        const int b = prior.empty() ? 0 : prior[i];
        const int c = i >= step && !prior.empty() ? prior[i - step] : 0;
        int predicted = 0;
        switch (type) {
        case 1:
            predicted = a;
            break;
        case 2:
            predicted = b;
            break;
        case 3:
            predicted = (a + b) / 2;
            break;
        case 4: {
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b),
                      pc = std::abs(p - c);
            predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            break;
        }
        }
        out.push_back(std::uint8_t(row[i] - predicted));
    }
    return out;
}

} // namespace

Bytes makePng(const Image& image, const PngOptions& o) {
    const bool indexed = o.colourType == 3;
    const bool grey = o.colourType == 0 || o.colourType == 4;
    const unsigned channels = o.colourType == 0 || indexed ? 1
                              : o.colourType == 2          ? 3
                              : o.colourType == 4          ? 2
                                                           : 4;
    const unsigned depth = o.bitDepth;
    if ((depth < 8 && !(grey && channels == 1) && !indexed) || (depth == 16 && indexed))
        throw std::invalid_argument("bit depth not allowed with this colour type");
    std::map<std::uint32_t, std::uint8_t> index;
    Bytes palette;
    if (indexed) {
        for (std::uint32_t y = 0; y < image.height; ++y) {
            for (std::uint32_t x = 0; x < image.width; ++x) {
                const std::uint32_t c = image.at(x, y);
                if (index.count(c))
                    continue;
                if (index.size() == (1u << depth))
                    throw std::invalid_argument("too many colours for an indexed PNG");
                index.emplace(c, std::uint8_t(index.size()));
                palette.insert(palette.end(),
                               {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
            }
        }
    }
    // One row of the pass starting at x0 every dx pixels, unfiltered.
    auto rowOf = [&](std::uint32_t y, std::uint32_t x0, std::uint32_t dx) {
        Bytes row;
        unsigned bitsUsed = 0; // of the last byte, for depths below eight
        for (std::uint32_t x = x0; x < image.width; x += dx) {
            const std::uint32_t c = image.at(x, y);
            if (depth < 8) {
                const unsigned v = indexed ? index.at(c) : (c >> 16 & 0xFF) >> (8 - depth);
                if (bitsUsed == 0 || bitsUsed == 8) {
                    row.push_back(0);
                    bitsUsed = 0;
                }
                bitsUsed += depth;
                row.back() = std::uint8_t(row.back() | v << (8 - bitsUsed));
                continue;
            }
            if (indexed) {
                row.push_back(index.at(c));
                continue;
            }
            const auto alpha = std::uint8_t(x * 7 + y * 13);
            const std::uint8_t samples[4] = {std::uint8_t(c >> 16), std::uint8_t(c >> 8),
                                             std::uint8_t(c), alpha};
            for (unsigned k = 0; k < channels; ++k) {
                const std::uint8_t v = grey ? (k == 0 ? samples[0] : alpha) : samples[k];
                row.push_back(v);
                if (depth == 16)
                    row.push_back(std::uint8_t(~v));
            }
        }
        return row;
    };
    const std::size_t step = std::max<std::size_t>(1, channels * depth / 8);
    unsigned rowNumber = 0;
    Bytes raw;
    auto addPass = [&](std::uint32_t x0, std::uint32_t y0, std::uint32_t dx, std::uint32_t dy) {
        Bytes prior;
        for (std::uint32_t y = y0; y < image.height; y += dy, ++rowNumber) {
            const Bytes row = rowOf(y, x0, dx);
            const unsigned type = o.filter >= 0 ? unsigned(o.filter) : rowNumber % 5;
            const Bytes filtered = filterRow(type, row, prior, step);
            raw.insert(raw.end(), filtered.begin(), filtered.end());
            prior = row;
        }
    };
    if (!o.interlaced) {
        addPass(0, 0, 1, 1);
    } else {
        static const unsigned pass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (const auto& p : pass)
            if (p[0] < image.width)
                addPass(p[0], p[1], p[2], p[3]);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) !=
        Z_OK)
        throw std::runtime_error("zlib");
    packed.resize(packedSize);

    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    add32be(ihdr, image.width);
    add32be(ihdr, image.height);
    ihdr.push_back(std::uint8_t(depth));
    ihdr.push_back(std::uint8_t(o.colourType));
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(o.interlaced ? 1 : 0);
    pngChunk(out, "IHDR", ihdr);
    if (indexed)
        pngChunk(out, "PLTE", palette);
    // Pieces as even as the byte count allows; later ones may be empty.
    const std::size_t pieces = std::max(1u, o.dataChunks);
    const std::size_t pieceBytes = (packed.size() + pieces - 1) / pieces;
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::size_t from = std::min(packed.size(), i * pieceBytes);
        const std::size_t to = std::min(packed.size(), from + pieceBytes);
        pngChunk(out, "IDAT",
                 Bytes(packed.begin() + std::ptrdiff_t(from), packed.begin() + std::ptrdiff_t(to)));
    }
    pngChunk(out, "IEND", {});
    return out;
}

Bytes makeWmf() {
    Bytes out;
    add32(out, 0x9AC6CDD7); // placeable metafile key
    add16(out, 0);
    for (int i = 0; i < 4; ++i)
        add16(out, i < 2 ? 0 : 1000);
    add16(out, 1440);
    add32(out, 0);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i + 1 < out.size(); i += 2)
        sum ^= std::uint16_t(out[i] | out[i + 1] << 8);
    add16(out, sum);
    add16(out, 1); // in memory
    add16(out, 9); // header words
    add16(out, 0x0300);
    add32(out, 12); // file words
    add16(out, 0);
    add32(out, 3);
    add16(out, 0);
    add32(out, 3); // end record
    add16(out, 0);
    return out;
}

DwgBuilder::DwgBuilder(std::string header) : m_header(std::move(header)) {}

DwgBuilder& DwgBuilder::headerData(std::size_t size) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = std::uint8_t(i * 3 + 1);
    return entry(1, std::move(data));
}

DwgBuilder& DwgBuilder::entry(std::uint8_t code, Bytes data) {
    m_entries.push_back({code, std::move(data)});
    return *this;
}

DwgBuilder& DwgBuilder::bodyBefore(std::size_t bytes) {
    m_before = bytes;
    return *this;
}

DwgBuilder& DwgBuilder::bodyAfter(std::size_t bytes) {
    m_after = bytes;
    return *this;
}

DwgBuilder& DwgBuilder::withoutImageSection() {
    m_section = false;
    return *this;
}

Bytes DwgBuilder::build(Layout* layout) const {
    Bytes out(m_header.begin(), m_header.end());
    out.resize(0x0D, 0);
    if (out.size() > 0x0B)
        out[0x0B] = 0x0F; // maintenance release
    add32(out, 0);        // image address, patched below
    addBody(out, m_before);

    Layout l;
    if (m_section) {
        l.address = out.size();
        put32(out, 0x0D, static_cast<std::uint32_t>(l.address));
        out.insert(out.end(), kSentinel, kSentinel + 16);
        std::uint64_t overall = 1 + 9 * m_entries.size();
        for (const Entry& e : m_entries)
            overall += e.data.size();
        l.overallSizeAt = out.size();
        add32(out, static_cast<std::uint32_t>(overall));
        l.countAt = out.size();
        out.push_back(static_cast<std::uint8_t>(m_entries.size()));
        l.tableAt = out.size();
        std::uint64_t next = l.tableAt + 9 * m_entries.size();
        for (const Entry& e : m_entries) {
            out.push_back(e.code);
            add32(out, static_cast<std::uint32_t>(next));
            add32(out, static_cast<std::uint32_t>(e.data.size()));
            l.starts.push_back(next);
            next += e.data.size();
        }
        for (const Entry& e : m_entries)
            out.insert(out.end(), e.data.begin(), e.data.end());
        for (std::uint8_t b : kSentinel)
            out.push_back(static_cast<std::uint8_t>(~b));
        l.sectionEnd = out.size();
    }
    addBody(out, m_after);
    if (layout)
        *layout = l;
    return out;
}

void put32(Bytes& bytes, std::uint64_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.at(at + i) = std::uint8_t(value >> (8 * i));
}

std::uint32_t get32(const Bytes& bytes, std::uint64_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | bytes.at(at + i);
    return v;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvx-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::write(const std::string& name, const Bytes& bytes) const {
    const std::string path = file(name);
    writeFile(path, bytes);
    return path;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace kvxtest
