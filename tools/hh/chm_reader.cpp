#include "chm_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx::hh::detail {

namespace {

// The names libmspack is given: the .chm itself and "the file being written".
constexpr char kInputToken[] = "input";
constexpr char kOutputToken[] = "output";

// The header's two GUIDs, {7C01FD10-7BAA-11D0-9E0C-00A0C922E6EC} and {7C01FD11-...}, as
// stored. The Free Pascal compiler's writer stores the first one twice, which libmspack
// refuses; such a file is read with the second one as it should be.
constexpr off_t kGuid1At = 0x18;
constexpr off_t kGuid2At = 0x28;
constexpr unsigned char kItsfGuid1[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                          0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr unsigned char kItsfGuid2[16] = {0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                          0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};

Stream* stream(mspack_file* f) {
    return reinterpret_cast<Stream*>(f);
}

mspack_file* sysOpen(mspack_system* self, const char* name, int mode) {
    System* sys = reinterpret_cast<System*>(self);
    if (mode == MSPACK_SYS_OPEN_READ && std::strcmp(name, kInputToken) == 0) {
        Stream* s = new Stream;
        s->fd = sys->input;
        s->input = true;
        s->fixGuid = sys->fixGuid;
        return reinterpret_cast<mspack_file*>(s);
    }
    if (mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, kOutputToken) == 0 &&
        sys->pendingOutput) {
        Stream* s = sys->pendingOutput;
        sys->pendingOutput = nullptr;
        return reinterpret_cast<mspack_file*>(s);
    }
    return nullptr;
}

void sysClose(mspack_file* f) {
    // Output streams belong to the caller, which checks and closes them.
    if (stream(f)->input)
        delete stream(f);
}

int sysRead(mspack_file* f, void* buffer, int bytes) {
    Stream* s = stream(f);
    if (!s->input || bytes < 0)
        return -1;
    int done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(s->fd, static_cast<char*>(buffer) + done,
                                  static_cast<std::size_t>(bytes - done), s->position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<int>(n);
        s->position += n;
    }
    const off_t first = s->position - done;
    if (s->fixGuid)
        for (off_t at = std::max(first, kGuid2At); at < std::min(s->position, kGuid2At + 16); ++at)
            static_cast<unsigned char*>(buffer)[at - first] = kItsfGuid2[at - kGuid2At];
    return done;
}

int sysWrite(mspack_file* f, void* buffer, int bytes) {
    Stream* s = stream(f);
    if (s->input || bytes < 0 || static_cast<std::uint64_t>(bytes) > s->limit - s->written)
        return -1;
    if (s->memory) {
        s->memory->append(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
    } else {
        int done = 0;
        while (done < bytes) {
            const ssize_t n = ::write(s->fd, static_cast<const char*>(buffer) + done,
                                      static_cast<std::size_t>(bytes - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                s->error = n < 0 ? errno : ENOSPC;
                return -1;
            }
            done += static_cast<int>(n);
        }
    }
    s->written += static_cast<std::uint64_t>(bytes);
    return bytes;
}

int sysSeek(mspack_file* f, off_t offset, int mode) {
    Stream* s = stream(f);
    if (!s->input)
        return -1;
    off_t base = 0;
    if (mode == MSPACK_SYS_SEEK_CUR) {
        base = s->position;
    } else if (mode == MSPACK_SYS_SEEK_END) {
        struct stat st {};
        if (::fstat(s->fd, &st) != 0)
            return -1;
        base = st.st_size;
    } else if (mode != MSPACK_SYS_SEEK_START) {
        return -1;
    }
    if ((offset > 0 && base > std::numeric_limits<off_t>::max() - offset) || base + offset < 0)
        return -1;
    s->position = base + offset;
    return 0;
}

off_t sysTell(mspack_file* f) {
    return stream(f)->position;
}

// The reader's own remarks are not for the user; its errors come back as codes.
void sysMessage(mspack_file*, const char*, ...) {}

// Every block starts with its size, so that a listed entry's name, which libmspack allocates
// behind the entry's record with its full length, shows when it holds a NUL.
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);

void* sysAlloc(mspack_system*, size_t bytes) {
    if (bytes > SIZE_MAX - kBlockHeader)
        return nullptr;
    char* block = static_cast<char*>(std::malloc(bytes + kBlockHeader));
    if (!block)
        return nullptr;
    std::memcpy(block, &bytes, sizeof bytes);
    return block + kBlockHeader;
}

void sysFree(void* p) {
    if (p)
        std::free(static_cast<char*>(p) - kBlockHeader);
}

void sysCopy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}

} // namespace

Reader::Reader(int fd) {
    sys.base = {sysOpen,    sysClose, sysRead, sysWrite, sysSeek, sysTell,
                sysMessage, sysAlloc, sysFree, sysCopy,  nullptr};
    sys.input = fd;
    unsigned char guids[32];
    sys.fixGuid = ::pread(fd, guids, sizeof guids, kGuid1At) == ssize_t{sizeof guids} &&
                  std::memcmp(guids, kItsfGuid1, 16) == 0 &&
                  std::memcmp(guids + 16, kItsfGuid1, 16) == 0;
    chmd = mspack_create_chm_decompressor(&sys.base);
    if (chmd)
        header = chmd->open(chmd, kInputToken);
    // A decoding file missing from the listing would make libmspack look it up by following
    // the directory's index and next-chunk links, which it does without guarding against
    // cycles. An empty stand-in takes its place: without a reset table the decoder starts
    // from the front, and without the others it fails.
    if (header) {
        mschmd_file** slots[] = {&header->sec1.content, &header->sec1.control,
                                 &header->sec1.spaninfo, &header->sec1.rtable};
        for (std::size_t i = 0; i < std::size(slots); ++i)
            if (!*slots[i]) {
                standIns[i].section = &header->sec0.base;
                standIns[i].filename = const_cast<char*>("");
                *slots[i] = &standIns[i];
            }
    }
}

Reader::~Reader() {
    if (header)
        chmd->close(chmd, header);
    if (chmd)
        mspack_destroy_chm_decompressor(chmd);
}

bool Reader::extract(mschmd_file* file, Stream* out) {
    out->limit = static_cast<std::uint64_t>(file->length);
    sys.pendingOutput = out;
    const int err = chmd->extract(chmd, file, kOutputToken);
    sys.pendingOutput = nullptr;
    return err == MSPACK_ERR_OK && out->written == out->limit;
}

bool nameHoldsNul(const mschmd_file* file) {
    if (file->filename != reinterpret_cast<const char*>(file + 1))
        return false;
    std::size_t block = 0;
    std::memcpy(&block, reinterpret_cast<const char*>(file) - kBlockHeader, sizeof block);
    return block > sizeof(mschmd_file) + std::strlen(file->filename) + 1;
}

} // namespace kvx::hh::detail
