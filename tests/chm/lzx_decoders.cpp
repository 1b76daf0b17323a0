#include "chm/lzx_decoders.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "support/chm_readers.h"

#include <lzx.h>

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

Decoded decodeWithLibmspack(const LzxStream& s, std::size_t first, std::size_t frames) {
    Decoded result;
    const std::string in(s.bytes.begin() + std::ptrdiff_t(s.frameOffsets[first]), s.bytes.end());
    kvxtest::MspackMemory mem(in);
    mspack_file* input = mem.sys.open(&mem.sys, "in", MSPACK_SYS_OPEN_READ);
    mspack_file* output = mem.sys.open(&mem.sys, "out", MSPACK_SYS_OPEN_WRITE);
    const off_t length = off_t(frames) * 32768;
    lzxd_stream* lzx = lzxd_init(&mem.sys, input, output, s.windowBits, int(s.resetIntervalFrames),
                                 4096, length, 0);
    const int err = lzx ? lzxd_decompress(lzx, length) : MSPACK_ERR_NOMEMORY;
    if (lzx)
        lzxd_free(lzx);
    mem.sys.close(input);
    mem.sys.close(output);
    result.bytes.assign(mem.output.begin(), mem.output.end());
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

namespace {

void put16(std::vector<std::uint8_t>& v, unsigned x) {
    v.push_back(std::uint8_t(x));
    v.push_back(std::uint8_t(x >> 8));
}

void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

void set32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + std::size_t(i)] = std::uint8_t(x >> (8 * i));
}

// A cabinet: one folder and one file per reset interval, one data block per frame.
std::vector<std::uint8_t> cabinet(const LzxStream& s, std::size_t first, std::size_t frames) {
    const std::size_t per = s.resetIntervalFrames;
    const std::size_t folders = (frames + per - 1) / per;
    std::vector<std::uint8_t> cab;
    cab.insert(cab.end(), {'M', 'S', 'C', 'F'});
    put32(cab, 0);
    put32(cab, 0); // cabinet size, set below
    put32(cab, 0);
    put32(cab, 0); // first file entry, set below
    put32(cab, 0);
    cab.push_back(3);
    cab.push_back(1);
    put16(cab, unsigned(folders));
    put16(cab, unsigned(folders));
    put16(cab, 0);
    put16(cab, 0);
    put16(cab, 0);
    const std::size_t folderTable = cab.size();
    for (std::size_t f = 0; f < folders; ++f) {
        put32(cab, 0); // first data block, set below
        put16(cab, unsigned(std::min(per, frames - f * per)));
        put16(cab, 3u | unsigned(s.windowBits) << 8);
    }
    set32(cab, 16, std::uint32_t(cab.size()));
    for (std::size_t f = 0; f < folders; ++f) {
        put32(cab, std::uint32_t(std::min(per, frames - f * per) * 32768));
        put32(cab, 0);
        put16(cab, unsigned(f));
        put16(cab, 0x5A21); // a date and time; any will do
        put16(cab, 0);
        put16(cab, 0x20);
        const std::string name = std::to_string(100000 + f);
        cab.insert(cab.end(), name.begin(), name.end());
        cab.push_back(0);
    }
    for (std::size_t f = 0; f < folders; ++f) {
        set32(cab, folderTable + 8 * f, std::uint32_t(cab.size()));
        for (std::size_t k = f * per; k < std::min(frames, (f + 1) * per); ++k) {
            const std::uint64_t begin = s.frameOffsets[first + k];
            const std::uint64_t end = s.frameOffsets[first + k + 1];
            put32(cab, 0); // no checksum
            put16(cab, unsigned(end - begin));
            put16(cab, 32768);
            cab.insert(cab.end(), s.bytes.begin() + std::ptrdiff_t(begin),
                       s.bytes.begin() + std::ptrdiff_t(end));
        }
    }
    set32(cab, 8, std::uint32_t(cab.size()));
    return cab;
}

} // namespace

Decoded decodeWith7zip(const LzxStream& s, std::size_t first, std::size_t frames) {
    Decoded result;
    if (frames == 0) {
        result.ok = true;
        return result;
    }
    const std::vector<std::uint8_t> cab = cabinet(s, first, frames);
    char path[] = "/tmp/kvx-lzx-XXXXXX.cab";
    const int fd = mkstemps(path, 4);
    if (fd < 0 || write(fd, cab.data(), cab.size()) != ssize_t(cab.size())) {
        result.error = "cannot write the cabinet";
        if (fd >= 0)
            close(fd);
        return result;
    }
    close(fd);
    const std::string command = std::string("7z x -so -y -bd '") + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        result.error = "cannot run 7z";
    } else {
        unsigned char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            result.bytes.insert(result.bytes.end(), buffer, buffer + n);
        const int status = pclose(pipe);
        result.ok = status == 0;
        if (!result.ok)
            result.error = "7z x failed (exit status " + std::to_string(status) +
                           "; is p7zip-full installed?)";
    }
    unlink(path);
    return result;
}

} // namespace kvx::chm::test
