#include "chm/lzx_decoders.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include <lzx.h>
#include <mspack.h>

// libmspack's public header only offers whole containers; its LZX decoder is reached through
// the entry points the static library exports, declared here as libmspack 0.11 defines them.
extern "C" {
struct lzxd_stream;
lzxd_stream* lzxd_init(mspack_system* system, mspack_file* input, mspack_file* output,
                       int window_bits, int reset_interval, int input_buffer_size,
                       off_t output_length, char is_delta);
int lzxd_decompress(lzxd_stream* lzx, off_t out_bytes);
void lzxd_free(lzxd_stream* lzx);
}

namespace kvx::chm::test {

namespace {

struct MemoryFile {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
    std::vector<std::uint8_t>* sink = nullptr;
    std::string* message = nullptr;
};

MemoryFile* fileOf(mspack_file* f) {
    return reinterpret_cast<MemoryFile*>(f);
}

int memRead(mspack_file* f, void* buffer, int bytes) {
    MemoryFile* m = fileOf(f);
    const std::size_t n = std::min<std::size_t>(std::size_t(bytes), m->size - m->pos);
    std::memcpy(buffer, m->data + m->pos, n);
    m->pos += n;
    return int(n);
}

int memWrite(mspack_file* f, void* buffer, int bytes) {
    MemoryFile* m = fileOf(f);
    const auto* b = static_cast<const std::uint8_t*>(buffer);
    m->sink->insert(m->sink->end(), b, b + bytes);
    return bytes;
}

void memMessage(mspack_file*, const char*, ...) {}

void* memAlloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}

void memFree(void* p) {
    std::free(p);
}

void memCopy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}

} // namespace

Decoded decodeWithLibmspack(const LzxStream& s, std::size_t first, std::size_t frames) {
    Decoded result;
    mspack_system sys{};
    sys.read = memRead;
    sys.write = memWrite;
    sys.message = memMessage;
    sys.alloc = memAlloc;
    sys.free = memFree;
    sys.copy = memCopy;
    MemoryFile in;
    in.data = s.bytes.data() + s.frameOffsets[first];
    in.size = s.bytes.size() - s.frameOffsets[first];
    MemoryFile out;
    out.sink = &result.bytes;
    const off_t length = off_t(frames) * 32768;
    lzxd_stream* lzx =
        lzxd_init(&sys, reinterpret_cast<mspack_file*>(&in), reinterpret_cast<mspack_file*>(&out),
                  s.windowBits, int(s.resetIntervalFrames), 4096, length, 0);
    if (!lzx) {
        result.error = "lzxd_init failed";
        return result;
    }
    const int err = lzxd_decompress(lzx, length);
    lzxd_free(lzx);
    result.ok = err == MSPACK_ERR_OK;
    if (!result.ok)
        result.error = "lzxd_decompress error " + std::to_string(err);
    return result;
}

Decoded decodeWithChmlib(const LzxStream& s, std::size_t first, std::size_t frames) {
    Decoded result;
    LZXstate* state = LZXinit(s.windowBits);
    if (!state) {
        result.error = "LZXinit failed";
        return result;
    }
    std::vector<unsigned char> in;
    std::vector<unsigned char> out(32768);
    for (std::size_t f = first; f < first + frames; ++f) {
        if (f % s.resetIntervalFrames == 0)
            LZXreset(state);
        const std::uint64_t begin = s.frameOffsets[f];
        const std::uint64_t end = s.frameOffsets[f + 1];
        // chmlib reads a little past a frame's end before it notices; give it zeros there.
        in.assign(s.bytes.begin() + std::ptrdiff_t(begin), s.bytes.begin() + std::ptrdiff_t(end));
        in.resize(in.size() + 64, 0);
        const int err = LZXdecompress(state, in.data(), out.data(), int(end - begin), 32768);
        if (err != DECR_OK) {
            result.error =
                "LZXdecompress error " + std::to_string(err) + " in frame " + std::to_string(f);
            LZXteardown(state);
            return result;
        }
        result.bytes.insert(result.bytes.end(), out.begin(), out.end());
    }
    LZXteardown(state);
    result.ok = true;
    return result;
}

} // namespace kvx::chm::test
