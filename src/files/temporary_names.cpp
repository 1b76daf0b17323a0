#include "files/temporary_names.h"

#include "files/paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kvx {

namespace {

constexpr std::string_view kTemporaryStart = ".kvx-tmp-";
constexpr std::size_t kTemporarySuffixLength = 6;

} // namespace

TemporaryKey::TemporaryKey(std::string_view name) {
    add(name);
}

TemporaryKey& TemporaryKey::add(std::string_view more) {
    // FNV-1a of the name: a leftover can be told by the file it was meant for, while the
    // temporary's name keeps one short length whatever that file's name.
    for (const char c : more) {
        m_value ^= static_cast<unsigned char>(c);
        m_value *= 16777619u;
    }
    return *this;
}

bool keyOfTemporary(std::string_view name, std::uint32_t& key) {
    if (name.size() != kTemporaryStart.size() + 8 + kTemporarySuffixLength ||
        name.substr(0, kTemporaryStart.size()) != kTemporaryStart)
        return false;
    key = 0;
    for (const char c : name.substr(kTemporaryStart.size(), 8)) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        key = key << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

bool removeUnheldTemporary(const std::string& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    bool removed = false;
    // The lock is held across the removal, so a writer cannot take the file back meanwhile;
    // where the file system has no locks, the caller's rule alone decides.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        (::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK))
        removed = ::unlink(file.c_str()) == 0;
    ::close(fd);
    return removed;
}

// Creates `prefix` + six random letters or digits, not there before, with `mode` (less the
// umask); -1 with errno set on failure.
int createTemporary(const std::string& prefix, mode_t mode, std::string& name) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[kTemporarySuffixLength];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            return -1;
        name = prefix;
        for (const unsigned char byte : random)
            name += kLetters[byte % (sizeof kLetters - 1)];
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

std::string temporaryPrefixFor(const std::string& path) {
    const std::uint32_t key = TemporaryKey(baseNameOf(path)).value();
    static const char* const hex = "0123456789abcdef";
    std::string prefix(kTemporaryStart);
    for (int shift = 28; shift >= 0; shift -= 4)
        prefix += hex[(key >> shift) & 0x0F];
    return prefix;
}

void removeLeftoverTemporaries(const std::string& path, Links links) {
    // Temporaries sit beside the file a link stands for, as replaceFileAtomically puts them.
    std::string target = path;
    char resolved[PATH_MAX];
    struct stat st {};
    if (links == Links::Follow && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
        ::realpath(path.c_str(), resolved) != nullptr)
        target = resolved;
    const std::string folder = folderOf(target);
    const std::uint32_t wanted = TemporaryKey(baseNameOf(target)).value();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> leftovers;
    while (const dirent* entry = ::readdir(dir)) {
        std::uint32_t key = 0;
        if (keyOfTemporary(entry->d_name, key) && key == wanted)
            leftovers.push_back(joinPath(folder, entry->d_name));
    }
    ::closedir(dir);
    for (const auto& leftover : leftovers)
        removeUnheldTemporary(leftover);
}

} // namespace kvx
