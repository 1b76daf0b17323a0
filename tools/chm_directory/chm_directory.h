#pragma once
// The directory of a compiled-help (.chm) file: its listing chunks, read directly. chmlib
// lists entries by following the chunks from the one the header names as the first, and
// chmcmd names the second chunk there once the directory spans several: the entries of the
// true first chunk then go unlisted, although they can be looked up. Plain C++, no Qt.

#include <cstdint>
#include <string>
#include <vector>

namespace kvx::chm {

struct Directory {
    bool ok = false;
    std::string problem;            // what is wrong with the file, when !ok
    std::vector<std::string> names; // every entry of every listing chunk, in file order
    std::int32_t head = -1;         // the first listing chunk the header names
    std::int32_t trueHead = -1;     // the chunk that has no predecessor
    std::uint64_t headOffset = 0;   // where the header keeps `head`
};

// Reads every listing chunk of `path`, whatever the header says; every length is checked.
Directory readDirectory(const std::string& path);

// Makes the header name the true first listing chunk. True when the file is (now) right.
bool repairListingHead(const std::string& path, std::string* problem = nullptr);

} // namespace kvx::chm
