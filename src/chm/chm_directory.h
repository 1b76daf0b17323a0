#pragma once
// The directory of a compiled-help file (its 4 KiB listing and index chunks and the order
// readers search names in) and the little-endian fields it and the headers are made of.
// Private to src/chm.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvx::chm {

inline constexpr std::uint32_t kChunkSize = 4096;
inline constexpr std::uint32_t kDensity = 2; // a quick-reference entry every 1 + 2^2 entries
inline constexpr std::uint32_t kQuickRefStep = 1 + (1u << kDensity);
inline constexpr std::uint32_t kListingHeader = 0x14;
inline constexpr std::uint32_t kIndexHeader = 0x08;

inline void put16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
inline void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
inline void put64(std::string& s, std::uint64_t v) {
    put32(s, static_cast<std::uint32_t>(v));
    put32(s, static_cast<std::uint32_t>(v >> 32));
}
inline void set16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void set32(std::string& s, std::size_t at, std::uint32_t v) {
    set16(s, at, v & 0xFFFF);
    set16(s, at + 2, v >> 16);
}
inline void putBytes(std::string& s, const std::uint8_t* p, std::size_t n) {
    s.append(reinterpret_cast<const char*>(p), n);
}
// The directory's variable-length numbers: 7 bits a byte, most significant first.
inline void putEncint(std::string& s, std::uint64_t v) {
    char groups[10];
    int n = 0;
    do {
        groups[n++] = static_cast<char>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n > 1)
        s += static_cast<char>(groups[--n] | 0x80);
    s += groups[0];
}

struct Entry {
    std::string name;
    std::uint32_t section = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct SortKey {
    std::vector<std::uint32_t> chars;
    std::size_t index;
};

// A name's characters as libmspack's lookup compares them: UTF-8 decoded, case folded.
std::vector<std::uint32_t> foldedChars(const std::string& name);
// Directory order of two names given with their foldedChars().
bool keyLess(const std::vector<std::uint32_t>& ca, const std::string& a,
             const std::vector<std::uint32_t>& cb, const std::string& b);
bool directoryOrder(const std::string& a, const std::string& b);

struct Directory {
    std::vector<std::string> chunks;
    std::int32_t indexRoot = -1;
    std::uint32_t depth = 1;
    std::uint32_t lastListing = 0;
};

// The chunks for `entries`, given in directory order.
Directory buildDirectory(const std::vector<Entry>& entries);

// How many chunks the directory of `names` may take at most, whatever their offsets.
std::size_t plannedChunks(const std::vector<std::string>& names);

} // namespace kvx::chm
