#include "chm_cache.h"

#include "chm_extract.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <pwd.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx::hh {

namespace detail {

namespace {

std::vector<std::string> folderEntries(int folder) {
    std::vector<std::string> names;
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return names;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return names;
    }
    while (const dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    ::closedir(d);
    return names;
}

bool isIndexFolderName(const std::string& name) {
    if (name.size() != 33 || name[16] != '-')
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (i != 16 && !std::isxdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

std::string randomName() {
    std::random_device device;
    const std::uint64_t v = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    return ".unpack-" + hex64(v ^ static_cast<std::uint64_t>(::getpid()));
}

} // namespace

Fd::~Fd() {
    if (fd >= 0)
        ::close(fd);
}

std::string hex64(std::uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

int openFolderAt(int at, const char* name) {
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

void removeTree(int at, const std::string& name) {
    struct stat st {};
    if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlinkat(at, name.c_str(), 0);
        return;
    }
    const Fd folder(openFolderAt(at, name.c_str()));
    if (folder.fd >= 0)
        for (const std::string& child : folderEntries(folder.fd))
            removeTree(folder.fd, child);
    ::unlinkat(at, name.c_str(), AT_REMOVEDIR);
}

int makeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at)
        if (at == path.size() || path[at] == '/') {
            const std::string part = path.substr(0, at);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return errno;
        }
    return 0;
}

void removeStaleWork(int root) {
    for (const std::string& name : folderEntries(root)) {
        if (name.rfind(".unpack-", 0) != 0)
            continue;
        const Fd work(openFolderAt(root, name.c_str()));
        // A link or a file of that name goes too; a folder only once no viewer holds it.
        if (work.fd < 0 || ::flock(work.fd, LOCK_EX | LOCK_NB) == 0)
            removeTree(root, name);
    }
}

void trimCache(int root, const std::string& current, const std::string& pathKey, std::size_t keep) {
    std::vector<std::pair<std::int64_t, std::string>> others;
    for (const std::string& name : folderEntries(root)) {
        if (!isIndexFolderName(name) || name == current)
            continue;
        struct stat st {};
        if (name.compare(0, pathKey.size(), pathKey) == 0 ||
            ::fstatat(root, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            removeTree(root, name);
            continue;
        }
        others.emplace_back(
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, name);
    }
    std::sort(others.begin(), others.end(), std::greater<>());
    for (std::size_t i = keep > 0 ? keep - 1 : 0; i < others.size(); ++i)
        removeTree(root, others[i].second);
}

int openParent(int folder, const std::string& relative, std::string* leaf, bool create) {
    int current = ::dup(folder);
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = relative.find('/', start);
        if (slash == std::string::npos) {
            *leaf = relative.substr(start);
            return current;
        }
        const std::string part = relative.substr(start, slash - start);
        if (create && ::mkdirat(current, part.c_str(), 0755) != 0 && errno != EEXIST) {
            ::close(current);
            return -1;
        }
        const int next = openFolderAt(current, part.c_str());
        ::close(current);
        if (next < 0)
            return -1;
        current = next;
        start = slash + 1;
    }
}

bool holdsPage(int root, const std::string& key, const std::string& topic) {
    struct stat st {};
    if (::fstatat(root, key.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
        return false;
    const Fd folder(openFolderAt(root, key.c_str()));
    std::string leaf;
    const Fd parent(folder.fd >= 0 ? openParent(folder.fd, topic, &leaf, false) : -1);
    return parent.fd >= 0 && ::fstatat(parent.fd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode);
}

int makeWorkFolder(int root, std::string* name, Fd* fd) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        *name = randomName();
        if (::mkdirat(root, name->c_str(), 0700) == 0)
            break;
        const int error = errno;
        name->clear();
        if (error != EEXIST)
            return error;
    }
    if (name->empty())
        return EEXIST;
    fd->fd = openFolderAt(root, name->c_str());
    if (fd->fd < 0 || ::flock(fd->fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        removeTree(root, *name);
        return error;
    }
    return 0;
}

int publish(int root, const std::string& workName, const std::string& key) {
    bool renamed = ::renameat(root, workName.c_str(), root, key.c_str()) == 0;
    int error = errno;
    struct stat other {};
    if (!renamed && ::fstatat(root, key.c_str(), &other, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISDIR(other.st_mode)) {
        // Something put there meanwhile that is no folder (a link): it is replaced.
        ::unlinkat(root, key.c_str(), 0);
        renamed = ::renameat(root, workName.c_str(), root, key.c_str()) == 0;
        error = errno;
    }
    if (renamed)
        return 0;
    // Another viewer unpacked the same file meanwhile: its folder serves.
    const bool theirs =
        ::fstatat(root, key.c_str(), &other, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(other.st_mode);
    removeTree(root, workName);
    return theirs ? 0 : error;
}

// ---- Limits ------------------------------------------------------------------------------

namespace {

constexpr std::uint64_t kFrame = 0x8000;

std::uint64_t le(const std::string& data, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(data[at + static_cast<std::size_t>(i)]);
    return v;
}

} // namespace

std::uint64_t ResetPoints::before(std::uint64_t offset) const {
    if (interval == 0)
        return 0;
    const std::uint64_t start = offset / interval * interval;
    return start / kFrame < frames ? start : 0;
}

ResetPoints resetPoints(const std::string& control, const std::string& table) {
    ResetPoints r;
    // ControlData: "LZXC" at 4, a version, then the reset interval (in frames for version 2).
    if (control.size() != 28 || control.compare(4, 4, "LZXC") != 0)
        return r;
    const std::uint64_t version = le(control, 8, 4);
    const std::uint64_t interval = le(control, 12, 4) * (version == 2 ? kFrame : 1);
    if ((version != 1 && version != 2) || interval == 0 || interval % kFrame != 0)
        return r;
    r.interval = interval;
    // The reset table: entry count, entry size and table offset, then the frame length at 32.
    if (table.size() < 40 || table.size() > 1000000 || le(table, 32, 8) != kFrame)
        return r;
    const std::uint64_t count = le(table, 4, 4);
    const std::uint64_t entrySize = le(table, 8, 4);
    const std::uint64_t at = le(table, 12, 4);
    if ((entrySize != 4 && entrySize != 8) || at > table.size() - entrySize)
        return r;
    r.frames = std::min(count, (table.size() - entrySize - at) / entrySize + 1);
    return r;
}

Work workOf(const std::vector<Step>& steps, const ResetPoints& resets, std::uint64_t entryCost) {
    Work w;
    bool running = false;
    std::uint64_t decodedTo = 0;
    auto add = [](std::uint64_t& sum, std::uint64_t v) {
        sum = v > UINT64_MAX - sum ? UINT64_MAX : sum + v;
    };
    for (const Step& s : steps) {
        add(w.decoded, entryCost);
        add(w.written, s.length);
        if (!s.compressed || s.length == 0)
            continue;
        // Starting over, the decoder also decodes the rest of the entry's last frame.
        const bool onward = running && s.offset >= decodedTo;
        const std::uint64_t from = onward ? decodedTo : resets.before(s.offset);
        add(w.decoded, s.offset + s.length - from + (onward ? 0 : kFrame));
        running = true;
        decodedTo = s.offset + s.length;
    }
    return w;
}

std::uint64_t scaled(std::uint64_t size, std::uint64_t perByte, std::uint64_t floor) {
    const std::uint64_t v = perByte && size > UINT64_MAX / perByte ? UINT64_MAX : size * perByte;
    return std::max(v, floor);
}

} // namespace detail

std::string cacheRoot() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.cache";
    }
    return base + "/korvenix31";
}

} // namespace kvx::hh
