#include "chm_directory.h"

#include <cstdio>
#include <memory>

namespace kvx::chm {

namespace {

// Hard limits: a directory is a few chunks of a few kilobytes.
constexpr std::uint64_t kMaxDirectory = 64ull << 20;
constexpr std::uint32_t kMaxChunk = 1u << 20;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t le64(const unsigned char* p) {
    return le32(p) | (static_cast<std::uint64_t>(le32(p + 4)) << 32);
}

bool readAt(std::FILE* f, std::uint64_t at, unsigned char* into, std::size_t size) {
    return std::fseek(f, static_cast<long>(at), SEEK_SET) == 0 &&
           std::fread(into, 1, size, f) == size;
}

// A variable-length number of 7-bit groups, high group first; false past `end`.
bool encint(const unsigned char*& p, const unsigned char* end, std::uint64_t& value) {
    value = 0;
    for (int i = 0; i < 9; ++i) {
        if (p >= end)
            return false;
        const unsigned char b = *p++;
        value = (value << 7) | (b & 0x7f);
        if (!(b & 0x80))
            return true;
    }
    return false;
}

Directory fail(const std::string& why) {
    Directory d;
    d.problem = why;
    return d;
}

} // namespace

Directory readDirectory(const std::string& path) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return fail("cannot be opened");
    unsigned char itsf[0x58];
    if (!readAt(f.get(), 0, itsf, sizeof itsf) || std::string(itsf, itsf + 4) != "ITSF")
        return fail("not a compiled help file (no ITSF header)");
    const std::uint64_t dirOffset = le64(itsf + 0x48);
    const std::uint64_t dirLength = le64(itsf + 0x50);
    if (dirLength < 0x54 || dirLength > kMaxDirectory || dirOffset > kMaxDirectory * 64)
        return fail("directory length out of range");
    std::vector<unsigned char> dir(static_cast<std::size_t>(dirLength));
    if (!readAt(f.get(), dirOffset, dir.data(), dir.size()) ||
        std::string(dir.begin(), dir.begin() + 4) != "ITSP")
        return fail("directory header missing or cut short");
    const std::uint32_t headerLength = le32(&dir[0x08]);
    const std::uint32_t chunkLength = le32(&dir[0x10]);
    const std::int32_t head = static_cast<std::int32_t>(le32(&dir[0x20]));
    const std::uint32_t chunks = le32(&dir[0x2c]);
    if (headerLength < 0x54 || headerLength > dirLength || chunkLength < 0x20 ||
        chunkLength > kMaxChunk ||
        static_cast<std::uint64_t>(chunks) * chunkLength > dirLength - headerLength)
        return fail("directory sizes out of range");

    Directory d;
    d.head = head;
    d.headOffset = dirOffset + 0x20;
    for (std::uint32_t i = 0; i < chunks; ++i) {
        const unsigned char* chunk = &dir[headerLength + static_cast<std::size_t>(i) * chunkLength];
        if (std::string(chunk, chunk + 4) != "PMGL")
            continue; // an index chunk
        const std::uint32_t freeSpace = le32(chunk + 4);
        if (freeSpace > chunkLength - 0x14)
            return fail("listing chunk " + std::to_string(i) + " has a bad free space");
        if (static_cast<std::int32_t>(le32(chunk + 0x0c)) == -1 && d.trueHead < 0)
            d.trueHead = static_cast<std::int32_t>(i);
        const unsigned char* p = chunk + 0x14;
        const unsigned char* end = chunk + chunkLength - freeSpace;
        while (p < end) {
            std::uint64_t nameLength = 0, section = 0, offset = 0, length = 0;
            if (!encint(p, end, nameLength) || nameLength > static_cast<std::uint64_t>(end - p))
                return fail("listing chunk " + std::to_string(i) + " has a bad entry name");
            d.names.emplace_back(reinterpret_cast<const char*>(p), nameLength);
            p += nameLength;
            if (!encint(p, end, section) || !encint(p, end, offset) || !encint(p, end, length))
                return fail("listing chunk " + std::to_string(i) + " has a bad entry");
        }
    }
    d.ok = true;
    return d;
}

bool repairListingHead(const std::string& path, std::string* problem) {
    const Directory d = readDirectory(path);
    if (!d.ok || d.trueHead < 0) {
        if (problem)
            *problem = d.ok ? "no first listing chunk" : d.problem;
        return false;
    }
    if (d.head == d.trueHead)
        return true;
    File f(std::fopen(path.c_str(), "r+b"));
    const std::uint32_t v = static_cast<std::uint32_t>(d.trueHead);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
        static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    const bool ok = f && std::fseek(f.get(), static_cast<long>(d.headOffset), SEEK_SET) == 0 &&
                    std::fwrite(bytes, 1, 4, f.get()) == 4 && std::fflush(f.get()) == 0;
    if (!ok && problem)
        *problem = "cannot be written";
    return ok;
}

} // namespace kvx::chm
