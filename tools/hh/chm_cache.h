#pragma once
// hh.exe's cache folder and the limits of one unpacking, inside the viewer's library. Every
// step in the cache is relative to a folder descriptor and follows no link.

#include <cstdint>
#include <string>
#include <vector>

namespace kvx::hh::detail {

struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

std::string hex64(std::uint64_t v);

int openFolderAt(int at, const char* name);

// Removes `name` in `at`: a link or a file is unlinked, a folder emptied first; a link is
// never followed, so what it points at stays untouched.
void removeTree(int at, const std::string& name);

// Creates every missing folder of the absolute `path` (links there are the user's own);
// 0 or the errno of the step that failed.
int makeFolders(const std::string& path);

// Work folders of viewers that ended without finishing; a running viewer holds a lock on
// its own, so it is left alone.
void removeStaleWork(int root);

// Earlier versions of the same path go; of the rest, only the newest `keep` stay.
void trimCache(int root, const std::string& current, const std::string& pathKey, std::size_t keep);

// Opens (creating them when `create`) the folders of `relative` below `folder`, never through
// a link; returns the innermost folder's descriptor and leaves the last component in `leaf`.
int openParent(int folder, const std::string& relative, std::string* leaf, bool create);

// True when `root`/`key` is a folder holding the regular file `topic`.
bool holdsPage(int root, const std::string& key, const std::string& topic);

// A new, locked work folder in `root` (its name in `name`, descriptor in `fd`); 0 or errno.
int makeWorkFolder(int root, std::string* name, Fd* fd);

// Renames the finished work folder to `key`; a folder another viewer put there meanwhile
// serves as well. 0 or errno.
int publish(int root, const std::string& workName, const std::string& key);

// ---- Limits ------------------------------------------------------------------------------

// Where the LZX decoder of the compressed section can start over: at every `interval` bytes
// while the reset table has an entry for it, else only at the front.
struct ResetPoints {
    std::uint64_t interval = 0; // 0: unknown
    std::uint64_t frames = 0;   // 32 KiB frames the table has an entry for
    std::uint64_t before(std::uint64_t offset) const;
};

// From the bytes of ControlData and of the reset table, as libmspack reads them.
ResetPoints resetPoints(const std::string& control, const std::string& table);

// One entry to unpack, in the order they are unpacked.
struct Step {
    bool compressed;
    std::uint64_t offset, length;
};

// What unpacking `steps` costs. libmspack's decoder runs on from where the previous entry
// ended when it can, and otherwise starts over at the reset point before the entry: what it
// decodes before reaching the entry is work too. Each entry adds `entryCost`.
struct Work {
    std::uint64_t decoded = 0;
    std::uint64_t written = 0;
};
Work workOf(const std::vector<Step>& steps, const ResetPoints& resets, std::uint64_t entryCost);

// max(floor, perByte * size), without overflow.
std::uint64_t scaled(std::uint64_t size, std::uint64_t perByte, std::uint64_t floor);

} // namespace kvx::hh::detail
