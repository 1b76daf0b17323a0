#include "preview/png_writer.h"

#include <algorithm>
#include <cstring>

#include <libdeflate.h>

namespace kvx {

namespace {

// Deflate's fixed code (RFC 1951, 3.2.6): no table to send, which suits pictures of a few
// kilobytes, and nothing to build but these small arrays.
struct FixedCode {
    std::uint16_t literal[288];
    std::uint8_t literalBits[288];
    std::uint8_t lengthSymbol[259]; // minus 257
    std::uint8_t lengthExtra[259];
    std::uint16_t lengthRest[259];

    static std::uint32_t reversed(std::uint32_t code, unsigned bits) {
        std::uint32_t r = 0;
        for (unsigned i = 0; i < bits; ++i, code >>= 1)
            r = r << 1 | (code & 1);
        return r;
    }

    FixedCode() {
        for (unsigned v = 0; v < 288; ++v) {
            unsigned code, bits;
            if (v < 144) {
                code = 0x30 + v;
                bits = 8;
            } else if (v < 256) {
                code = 0x190 + (v - 144);
                bits = 9;
            } else if (v < 280) {
                code = v - 256;
                bits = 7;
            } else {
                code = 0xC0 + (v - 280);
                bits = 8;
            }
            literal[v] = static_cast<std::uint16_t>(reversed(code, bits));
            literalBits[v] = static_cast<std::uint8_t>(bits);
        }
        static const std::uint16_t base[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                               15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                               67, 83, 99, 115, 131, 163, 195, 227, 258};
        for (unsigned s = 0; s < 29; ++s) {
            const unsigned extra = s < 8 || s == 28 ? 0 : (s - 4) / 4;
            const unsigned end = s == 28 ? 259 : base[s] + (1u << extra);
            for (unsigned len = base[s]; len < end; ++len) {
                lengthSymbol[len] = static_cast<std::uint8_t>(s);
                lengthExtra[len] = static_cast<std::uint8_t>(extra);
                lengthRest[len] = static_cast<std::uint16_t>(len - base[s]);
            }
        }
    }
};

// A distance as its five-bit code, written reversed, and its extra bits.
struct Distance {
    std::uint32_t code = 0;
    unsigned extraBits = 0;
    std::uint32_t extra = 0;

    explicit Distance(std::uint32_t d) {
        static const std::uint16_t base[30] = {
            1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
            193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        unsigned s = 29;
        while (base[s] > d)
            --s;
        code = FixedCode::reversed(s, 5);
        extraBits = s < 4 ? 0 : (s - 2) / 2;
        extra = d - base[s];
    }
};

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
    void put(std::uint32_t value, unsigned bits) {
        m_bits |= std::uint64_t(value) << m_count;
        m_count += bits;
        if (m_count >= 32) {
            const std::size_t end = m_out.size();
            m_out.resize(end + 4);
            for (int k = 0; k < 4; ++k)
                m_out[end + k] = static_cast<std::uint8_t>(m_bits >> (8 * k));
            m_bits >>= 32;
            m_count -= 32;
        }
    }
    void finish() {
        for (; m_count > 0; m_count = m_count > 8 ? m_count - 8 : 0, m_bits >>= 8)
            m_out.push_back(static_cast<std::uint8_t>(m_bits));
    }

private:
    std::vector<std::uint8_t>& m_out;
    std::uint64_t m_bits = 0;
    unsigned m_count = 0;
};

// How many bytes from `at` repeat those `distance` before them, up to `most`.
std::size_t repeatLength(const std::uint8_t* data, std::size_t at, std::size_t distance,
                         std::size_t most) {
    const std::uint8_t* p = data + at;
    const std::uint8_t* q = p - distance;
    std::size_t n = 0;
    while (n + 8 <= most) {
        std::uint64_t a, b;
        std::memcpy(&a, p + n, 8);
        std::memcpy(&b, q + n, 8);
        if (a != b) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            return n + static_cast<std::size_t>(__builtin_ctzll(a ^ b)) / 8;
#else
            break;
#endif
        }
        n += 8;
    }
    while (n < most && p[n] == q[n])
        ++n;
    return n;
}

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v) {
    const std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
                               std::uint8_t(v)};
    out.insert(out.end(), b, b + 4);
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data,
              std::size_t size) {
    putBigEndian(out, static_cast<std::uint32_t>(size));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size)
        out.insert(out.end(), data, data + size);
    putBigEndian(out, libdeflate_crc32(0, out.data() + start, size + 4));
}

} // namespace

void deflateRepeats(const std::uint8_t* data, std::size_t size, std::size_t rowBytes,
                    std::vector<std::uint8_t>& out) {
    static const FixedCode code;
    BitWriter bits(out);
    bits.put(1, 1); // the last block
    bits.put(1, 2); // fixed code
    const bool rows = rowBytes >= 4 && rowBytes <= 32768;
    const Distance pixel(3), row(rows ? static_cast<std::uint32_t>(rowBytes) : 1);
    for (std::size_t i = 0; i < size;) {
        const std::size_t most = std::min<std::size_t>(258, size - i);
        // A repeat shorter than three bytes is no use: most candidates fail on these.
        auto starts = [&](std::size_t d) {
            return i >= d && most >= 3 && data[i] == data[i - d] &&
                   data[i + 1] == data[i + 1 - d] && data[i + 2] == data[i + 2 - d];
        };
        std::size_t length = starts(3) ? repeatLength(data, i, 3, most) : 0;
        const Distance* distance = &pixel;
        if (rows && length < most && starts(rowBytes)) {
            const std::size_t above = repeatLength(data, i, rowBytes, most);
            if (above > length) {
                length = above;
                distance = &row;
            }
        }
        if (length < 3) {
            bits.put(code.literal[data[i]], code.literalBits[data[i]]);
            ++i;
            continue;
        }
        const unsigned symbol = 257 + code.lengthSymbol[length];
        bits.put(code.literal[symbol], code.literalBits[symbol]);
        if (code.lengthExtra[length])
            bits.put(code.lengthRest[length], code.lengthExtra[length]);
        bits.put(distance->code, 5);
        if (distance->extraBits)
            bits.put(distance->extra, distance->extraBits);
        i += length;
    }
    bits.put(code.literal[256], code.literalBits[256]);
    bits.finish();
}

bool encodePng(const RgbPicture& picture, std::vector<std::uint8_t>& png, std::string& error) {
    const std::size_t rgbRow = std::size_t(picture.width) * 3;
    if (!picture.complete()) {
        error = "empty or incomplete picture";
        return false;
    }
    // Rows as PNG stores them, each after its filter byte (0, none): thumbnails are flat
    // colours, which repeat the pixel before or the row above far more often than a filter
    // would make them repeat.
    const std::size_t stride = rgbRow + 1;
    std::vector<std::uint8_t> raw(stride * picture.height);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        raw[y * stride] = 0;
        std::uint8_t* dst = raw.data() + y * stride + 1;
        if (!picture.indexed()) {
            std::memcpy(dst, picture.rgb.data() + y * rgbRow, rgbRow);
            continue;
        }
        const std::uint8_t* index = picture.indexRow(y);
        for (std::uint32_t x = 0; x < picture.width; ++x, dst += 3)
            std::memcpy(dst, &picture.palette[index[x]], 3);
    }
    std::vector<std::uint8_t> zlib = {0x78, 0x01};
    zlib.reserve(raw.size() / 8 + 64);
    deflateRepeats(raw.data(), raw.size(), stride, zlib);
    putBigEndian(zlib, libdeflate_adler32(1, raw.data(), raw.size()));

    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.assign(kSignature, kSignature + 8);
    std::uint8_t header[13];
    const std::uint32_t size[2] = {picture.width, picture.height};
    for (int i = 0; i < 2; ++i)
        for (int b = 0; b < 4; ++b)
            header[4 * i + b] = static_cast<std::uint8_t>(size[i] >> (24 - 8 * b));
    const std::uint8_t rest[5] = {8, 2, 0, 0,
                                  0}; // 8-bit RGB, deflate, no filter choice, no interlace
    std::memcpy(header + 8, rest, 5);
    putChunk(png, "IHDR", header, 13);
    putChunk(png, "IDAT", zlib.data(), zlib.size());
    putChunk(png, "IEND", nullptr, 0);
    return true;
}

} // namespace kvx
