// The directory: names in the order readers search them, cut into listing chunks with an index
// above them when there are several.
#include "chm/chm_directory.h"

#include <algorithm>
#include <clocale>
#include <locale.h>
#include <wctype.h>

namespace kvx::chm {

namespace {

// One character of a name as libmspack's lookup reads it: well-formed or not, a lead byte
// decides the length, a stray byte stands for U+FFFD.
std::uint32_t nextChar(const unsigned char*& p, const unsigned char* end) {
    const unsigned char x = *p++;
    if (x < 0x80)
        return x;
    if (x >= 0xC2 && x < 0xE0 && p < end)
        return (x & 0x1Fu) << 6 | (*p++ & 0x3Fu);
    if (x >= 0xE0 && x < 0xF0 && p + 1 < end) {
        const std::uint32_t c = (x & 0x0Fu) << 12 | (p[0] & 0x3Fu) << 6 | (p[1] & 0x3Fu);
        p += 2;
        return c;
    }
    if (x >= 0xF0 && x <= 0xF5 && p + 2 < end) {
        std::uint32_t c =
            (x & 0x07u) << 18 | (p[0] & 0x3Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
        if (c > 0x10FFFF)
            c = 0xFFFD;
        p += 3;
        return c;
    }
    return 0xFFFD;
}

// Case is folded as a reader running in a UTF-8 locale folds it (the viewer is a desktop
// program); where that locale is missing, ASCII letters only.
std::uint32_t fold(std::uint32_t c) {
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (c < 0x80 || utf8 == static_cast<locale_t>(0))
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    return static_cast<std::uint32_t>(::towlower_l(static_cast<wint_t>(c), utf8));
}

// One directory chunk being filled: its entries and where every step-th entry begins.
struct ChunkBuilder {
    std::string entries;
    std::vector<std::uint32_t> quickRefs; // offsets of entries step, 2*step, ...
    std::uint32_t count = 0;
    std::uint32_t headerSize;

    explicit ChunkBuilder(std::uint32_t header) : headerSize(header) {}

    // Room for the entries, the entry count and a quick-reference slot for every group
    // (one spare, which libmspack's plausibility check counts).
    bool fits(std::size_t entrySize) const {
        const std::size_t groups = (count + 1 + kQuickRefStep - 1) / kQuickRefStep;
        return headerSize + entries.size() + entrySize + 2 + 2 * groups <= kChunkSize;
    }
    void add(const std::string& entry) {
        if (count > 0 && count % kQuickRefStep == 0)
            quickRefs.push_back(static_cast<std::uint32_t>(entries.size()));
        entries += entry;
        ++count;
    }
    // The chunk's 4 KiB: `head` (signature and fields), the entries, free space, the quick-
    // reference area growing down from the end, the entry count in the last two bytes.
    std::string finish(std::string head) const {
        std::string chunk = std::move(head);
        chunk += entries;
        chunk.resize(kChunkSize, '\0');
        set16(chunk, kChunkSize - 2, count);
        for (std::size_t i = 0; i < quickRefs.size(); ++i)
            set16(chunk, kChunkSize - 4 - 2 * i, quickRefs[i]);
        set32(chunk, 4, kChunkSize - headerSize - static_cast<std::uint32_t>(entries.size()));
        return chunk;
    }
};

std::string listingEntry(const Entry& e) {
    std::string s;
    putEncint(s, e.name.size());
    s += e.name;
    putEncint(s, e.section);
    putEncint(s, e.offset);
    putEncint(s, e.length);
    return s;
}

std::string indexEntry(const std::string& name, std::uint32_t chunk) {
    std::string s;
    putEncint(s, name.size());
    s += name;
    putEncint(s, chunk);
    return s;
}

} // namespace

std::vector<std::uint32_t> foldedChars(const std::string& name) {
    std::vector<std::uint32_t> chars;
    chars.reserve(name.size());
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const auto* end = p + name.size();
    while (p < end)
        chars.push_back(fold(nextChar(p, end)));
    return chars;
}

bool keyLess(const std::vector<std::uint32_t>& ca, const std::string& a,
             const std::vector<std::uint32_t>& cb, const std::string& b) {
    if (ca != cb)
        return ca < cb;
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// True when `a` comes before `b` in the file's directory: the order in which readers search
// it (letter case folded, characters compared as UTF-8 where the bytes are UTF-8), ties broken
// by the raw bytes so that names differing only in case keep a fixed order.
bool directoryOrder(const std::string& a, const std::string& b) {
    return keyLess(foldedChars(a), a, foldedChars(b), b);
}

Directory buildDirectory(const std::vector<Entry>& entries) {
    Directory dir;
    // Listing chunks, filled in order; the first name of each goes into the index above it.
    std::vector<ChunkBuilder> listing;
    std::vector<std::string> firstNames;
    for (const Entry& e : entries) {
        const std::string entry = listingEntry(e);
        if (listing.empty() || !listing.back().fits(entry.size())) {
            listing.emplace_back(kListingHeader);
            firstNames.push_back(e.name);
        }
        listing.back().add(entry);
    }
    const auto listingCount = static_cast<std::uint32_t>(listing.size());
    for (std::uint32_t i = 0; i < listingCount; ++i) {
        std::string head = "PMGL";
        put32(head, 0); // free space, set by finish()
        put32(head, 0);
        put32(head, i == 0 ? 0xFFFFFFFFu : i - 1);
        put32(head, i + 1 == listingCount ? 0xFFFFFFFFu : i + 1);
        dir.chunks.push_back(listing[i].finish(std::move(head)));
    }
    dir.lastListing = listingCount - 1;

    // Index levels until one chunk covers everything below it.
    std::vector<std::string> names = std::move(firstNames);
    std::vector<std::uint32_t> numbers(listingCount);
    for (std::uint32_t i = 0; i < listingCount; ++i)
        numbers[i] = i;
    while (names.size() > 1) {
        std::vector<ChunkBuilder> level;
        std::vector<std::string> levelFirst;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string entry = indexEntry(names[i], numbers[i]);
            if (level.empty() || !level.back().fits(entry.size())) {
                level.emplace_back(kIndexHeader);
                levelFirst.push_back(names[i]);
            }
            level.back().add(entry);
        }
        numbers.clear();
        for (const ChunkBuilder& chunk : level) {
            numbers.push_back(static_cast<std::uint32_t>(dir.chunks.size()));
            std::string head = "PMGI";
            put32(head, 0);
            dir.chunks.push_back(chunk.finish(std::move(head)));
        }
        names = std::move(levelFirst);
        ++dir.depth;
    }
    if (dir.depth > 1)
        dir.indexRoot = static_cast<std::int32_t>(numbers.front());
    return dir;
}

// Room for the directory before the stream, enough whatever the offsets turn out to be: the
// listing with every number at its widest (smaller entries never need more chunks), and each
// index level as if every chunk began with the longest name, since which names begin the
// chunks is known only once the offsets are.
std::size_t plannedChunks(const std::vector<std::string>& names) {
    std::vector<Entry> widest(names.size());
    std::size_t longest = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        widest[i].name = names[i];
        widest[i].section = 1;
        widest[i].offset = widest[i].length = (std::uint64_t{1} << 42) - 1;
        longest = std::max(longest, names[i].size());
    }
    std::size_t below = buildDirectory(widest).lastListing + std::size_t{1};
    std::size_t chunks = below;
    const std::string entry = indexEntry(std::string(longest, 'x'), 0xFFFFFFFFu);
    while (below > 1) {
        std::size_t level = 1;
        ChunkBuilder chunk(kIndexHeader);
        for (std::size_t i = 0; i < below; ++i) {
            if (!chunk.fits(entry.size())) {
                ++level;
                chunk = ChunkBuilder(kIndexHeader);
            }
            chunk.add(entry);
        }
        chunks += level;
        below = level;
    }
    return chunks;
}
} // namespace kvx::chm
