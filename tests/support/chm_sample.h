#pragma once
// Small compiled-help files made in code for the viewer's tests and the fuzzer's seeds: the
// headers, one listing chunk (and, on request, an index chunk), section 0 and a compressed
// section whose LZX stream holds only uncompressed blocks. The offsets of the fields that
// the tests damage are returned with the bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvxtest {

struct ChmSampleEntry {
    std::string name; // as stored: "/index.htm"
    std::string data;
    bool compressed = true; // in the compressed section, else in section 0
};

struct ChmSample {
    std::string bytes;
    std::size_t directory = 0;    // the ITSP header
    std::size_t listingChunk = 0; // the PMGL chunk
    std::size_t indexChunk = 0;   // the PMGI chunk, 0 when there is none
    std::size_t indexTarget = 0;  // the chunk number in its one entry (one byte)
    std::size_t controlData = 0;  // ControlData's content
    std::size_t resetTable = 0;   // the reset table's content
};

// `indexChunk` adds an index chunk (depth 2) whose one entry names the listing chunk.
ChmSample makeChm(const std::vector<ChmSampleEntry>& entries, bool indexChunk = false);

// A #SYSTEM file whose default topic is `topic`.
std::string chmSystemFile(const std::string& topic);

void putLE(std::string& bytes, std::size_t at, std::uint64_t value, int size);

} // namespace kvxtest
