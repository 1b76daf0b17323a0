#pragma once
// libmspack's CHM reader on a file descriptor of ours, inside the viewer's library: it opens
// nothing by name, and an entry is written to a descriptor or a string of ours, never past its
// stated length.

#include <mspack.h>

#include <cstdint>
#include <string>

namespace kvx::hh::detail {

// An open file handed to libmspack: the .chm (shared, not ours to close) or an entry's output.
struct Stream {
    int fd = -1;
    bool input = false;
    off_t position = 0;            // reading only
    std::string* memory = nullptr; // the entry goes here instead of a file
    std::uint64_t written = 0;
    std::uint64_t limit = 0; // an entry writes its stated length and no more
    int error = 0;           // errno of a failed write
    bool fixGuid = false;    // see System
};

struct System {
    mspack_system base;
    int input = -1;
    Stream* pendingOutput = nullptr; // handed out by the next open for writing
    bool fixGuid = false;            // the header's second GUID is read as it should be
};

struct Reader {
    System sys{};
    mschm_decompressor* chmd = nullptr;
    mschmd_header* header = nullptr;
    mschmd_file standIns[4]{};

    // Reads the header and the whole listing of the open .chm `fd`.
    explicit Reader(int fd);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Writes the entry into `out`; true when all of its bytes came and no more.
    bool extract(mschmd_file* file, Stream* out);
};

// True when the listed entry's name holds a NUL byte (libmspack's name ends at the first).
bool nameHoldsNul(const mschmd_file* file);

} // namespace kvx::hh::detail
