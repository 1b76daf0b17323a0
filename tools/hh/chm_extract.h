#pragma once
// Unpacking a compiled-help file into a cache folder of ours, so that the desktop's browser
// can show its pages (and their frames). libmspack reads the file; a .chm is untrusted input,
// so no entry is ever written outside the cache folder, no link inside the cache is followed,
// and a folder of the cache is either complete or not there.
//
// Paths and entry names are bytes from end to end: a folder or a page whose name is not
// UTF-8 is read and written as it is. Only messages are text (UTF-8, names escaped).

#include <cstdint>
#include <string>
#include <vector>

namespace kvx::hh {

enum class ViewError {
    None,
    CannotOpen,       // the file is missing, unreadable or not a compiled help file
    Damaged,          // an entry can't be read whole or lies outside its section
    TooLarge,         // a limit below is passed
    CannotWriteCache, // the cache folder or an entry could not be written
    NoTopic,          // no page to show
};

// Far above what a real index holds; a file that passes one is refused whole, before anything
// is written. The counts grow with what the file itself holds, so that every index the
// compiler writes opens, however large its folder.
struct Limits {
    // Entries: this many, and with `fromFile` one for each `bytesPerEntry` bytes of the file
    // when that is more (each entry's cost also counts against the decoding below).
    std::uint64_t entries = 200000;
    // Bytes of pages: this many, and with `fromFile` what the file's sections hold when that
    // is more (entries that share bytes are held by the writing below).
    std::uint64_t totalBytes = 4ull << 30;
    std::size_t nameLength = 1024;
    std::size_t keptIndexes = 8; // unpacked files kept in the cache
    // The work of one unpacking grows with the file's size, from a floor, so that a small file
    // can neither keep the viewer busy nor fill the disk: the bytes the decoder produces,
    // counting what it decodes to reach an entry and `entryCost` for each entry (the cost of
    // making its file), and the bytes written.
    std::uint64_t decodedPerByte = 128;
    std::uint64_t decodedFloor = 64ull << 20;
    std::uint64_t entryCost = 4096;
    std::uint64_t writtenPerByte = 64;
    std::uint64_t writtenFloor = 16ull << 20;
    bool fromFile = true;
    std::uint64_t bytesPerEntry = 64;
};

struct Extraction {
    ViewError error = ViewError::None;
    std::string message; // one line a user can act on (UTF-8); empty on success
    std::string folder;  // the cache folder holding the pages
    std::string topic;   // the page to show, relative to `folder`
    // Entries left out, one line each (UTF-8, names escaped): those whose names are unsafe,
    // with "..", ".", or empty components, or a NUL.
    std::vector<std::string> warnings;
};

// "file://" and the absolute path, every byte but letters, digits and "-._~/" as %NN.
std::string fileUrl(const std::string& absolutePath);

// The page to show among `pages` (relative names): the default topic of #SYSTEM, else the
// home page of #WINDOWS (its strings in #STRINGS), else index.htm, else the first page in
// name order; a name missing exactly is matched without regard to ASCII case.
std::string chooseTopic(const std::string& system, const std::string& windows,
                        const std::string& strings, const std::vector<std::string>& pages);

// $XDG_CACHE_HOME/korvenix31 (default ~/.cache/korvenix31).
std::string cacheRoot();

// Unpacks `chmPath` (relative paths are taken in the working folder) into
// root/<key of its path>-<key of its inode, change time, size and modification time>/, or
// reuses that folder when it is there; earlier folders of the same path and all but the
// newest `limits.keptIndexes` folders are removed.
Extraction extractToCache(const std::string& chmPath, const std::string& root = cacheRoot(),
                          const Limits& limits = {});

} // namespace kvx::hh
