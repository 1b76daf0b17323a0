#pragma once
// Small compiled-help files made in code for the viewer's tests and the fuzzer's seeds: the
// headers, one listing chunk (and, on request, an index chunk), section 0 and a compressed
// section whose LZX stream holds only uncompressed blocks. Also the contents the help-file
// tests fill them with.

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
};

// `indexChunk` adds an index chunk (depth 2) whose one entry names the listing chunk.
ChmSample makeChm(const std::vector<ChmSampleEntry>& entries, bool indexChunk = false);

// A #SYSTEM file whose default topic is `topic`.
std::string chmSystemFile(const std::string& topic);

void putLE(std::string& bytes, std::size_t at, std::uint64_t value, int size);

// `n` bytes that do not compress, as pictures give.
std::string randomBytes(std::size_t n, unsigned seed);

// `n` bytes of report pages as the program writes them: the same markup, other names.
std::string reportPages(std::size_t n, unsigned seed);

} // namespace kvxtest
