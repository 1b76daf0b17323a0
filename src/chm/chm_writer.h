#pragma once
// Writing a compiled-help (.chm) file: the container around the pages and pictures, with the
// system files a help viewer expects and every content file in the LZX-compressed section.
// Names are bytes and stay bytes. Plain C++, no Qt.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvx::chm {

struct ChmFile {
    using Load = std::function<bool(std::string& bytes, std::string& error)>;
    ChmFile() = default;
    ChmFile(std::string name_, bool compressible_, std::string content_ = {}, Load load_ = nullptr)
        : name(std::move(name_)), compressible(compressible_), content(std::move(content_)),
          load(std::move(load_)) {}

    // The name inside the file: "/" and the path below the compiled folder, as bytes.
    std::string name;
    // Text goes through the LZX compressor; pictures and other packed data are stored as they
    // are (still inside the compressed section), which costs nothing to read back.
    bool compressible = true;
    // The bytes, or empty when `load` gives them.
    std::string content;
    // Called once, shortly before the file's turn comes, so that large sets need not sit in
    // memory; on another thread when ChmOptions::readers is above 1. Returns false with
    // `error` set when the bytes cannot be had.
    Load load;
    // How many bytes `load` gives, as far as known: what is loaded ahead is bounded by it.
    std::uint64_t loadSize = 0;
    // For a file larger than ChmOptions::readAheadBytes, when given: called on its turn
    // instead of `load`, it hands the bytes over in pieces, so that the file is never held
    // whole. Returns false with `error` set when they cannot be had.
    std::function<bool(const std::function<void(std::string_view piece)>& write,
                       std::string& error)>
        stream;
};

// A page as help readers list it: in the topic tables (#TOPICS, #URLTBL, #URLSTR), under its
// title, which their search results and history show.
struct ChmTopic {
    std::string name;        // the page's name inside the file: "/" and its path
    std::string title;       // in the file's code page; empty for none
    bool inContents = false; // the contents file has an entry for it
};

struct ChmOptions {
    std::string title;
    std::string defaultTopic = "index.htm";
    std::string compiledName = "hhctest"; // the file's own name, without ".chm"
    std::uint32_t language = 0x040c;      // the help file's language (LCID)
    std::int64_t timestamp = 0;           // seconds since 1970, written into the headers
    // Files loaded at once, each a few turns ahead of its own (four a reader at most, held
    // until written); 1 loads each on its turn, on the caller's thread.
    unsigned readers = 8;
    // At most this many bytes (by their loadSize) are loaded ahead; a larger file is loaded
    // alone, on its turn.
    std::uint64_t readAheadBytes = 64ull << 20;
    // Threads that compress, 0 for one a core (at least two): the file is the same whatever
    // the count.
    unsigned threads = 0;
    // The pages in topic order: topic i is entry i of #TOPICS, the number a full-text index
    // gives for it. Empty: no topic tables.
    std::vector<ChmTopic> topics;
    // The sitemap contents (.hhc) and keyword index (.hhk) among the files, by their names
    // ("/..."), or empty. Named in #SYSTEM and in the window definition of #WINDOWS.
    std::string contentsFile, keywordFile;
    // The full-text index ($FIftiMain) over `topics`, or empty for none.
    std::string fullTextIndex;
};

enum class ChmError {
    None,
    BadName, // a name that is empty, misses the leading "/", holds a NUL, is too long, ...
    DuplicateName,
    CannotLoad,  // a file's `load` failed
    TooLarge,    // more content than the format's 32-bit fields can carry
    CannotWrite, // the output could not be written or put in place
};

struct ChmResult {
    ChmError error = ChmError::None;
    std::string message; // what went wrong, naming the file; empty on success
    explicit operator bool() const { return error == ChmError::None; }
};

// Longest name a directory entry may carry: chmlib cannot list longer ones.
constexpr std::size_t kMaxNameLength = 512;

// Builds the whole file in memory.
ChmResult buildChm(std::vector<ChmFile> files, const ChmOptions& options, std::string& out);

// Writes the file beside `path` and renames it into place once complete: on failure an
// earlier file at `path` is left as it was. A symbolic link at `path` is replaced, never
// written through. The temporary is locked while written (clean-ups
// leave it alone).
ChmResult writeChm(const std::string& path, std::vector<ChmFile> files, const ChmOptions& options);

} // namespace kvx::chm
