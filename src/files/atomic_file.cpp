#include "files/atomic_file.h"

#include "files/paths.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace kvx {

namespace {

std::string describe(const std::string& what, const std::string& path, int err) {
    return what + " '" + path + "': " + std::strerror(err);
}

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

constexpr std::size_t kTemporarySuffixLength = 6;
// A leftover a running writer may still come back to (a staged group, closed until its commit)
// is left alone until it has been untouched this long.
constexpr time_t kStaleAfterSeconds = 3600;

// Whether the file system takes syncfs as a flush of what the server holds. Network and FUSE
// file systems answer it at once without passing it on, so each file is flushed on its own.
bool syncfsReachesTheDisk(int folderFd) {
    struct statfs fs {};
    if (::fstatfs(folderFd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x65735546: // FUSE (sshfs, ...)
    case 0x6969:     // NFS
    case 0x517B:     // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x01021997: // 9P
    case 0x00C36400: // Ceph
    case 0x5346414F: // AFS
    case 0x6B414653: // kAFS
    case 0x73757245: // Coda
    case 0x564C:     // NCP
    case 0x13661366: // OrangeFS
        return false;
    default:
        return true;
    }
}

// File systems that refused a mode once: asking again would cost each file a round trip.
std::mutex g_fixedModeMutex;
std::vector<dev_t> g_fixedModeDevices;

bool modeDecidedByServer(dev_t device) {
    const std::lock_guard<std::mutex> lock(g_fixedModeMutex);
    return std::find(g_fixedModeDevices.begin(), g_fixedModeDevices.end(), device) !=
           g_fixedModeDevices.end();
}

void rememberModeDecidedByServer(dev_t device) {
    const std::lock_guard<std::mutex> lock(g_fixedModeMutex);
    if (std::find(g_fixedModeDevices.begin(), g_fixedModeDevices.end(), device) ==
        g_fixedModeDevices.end())
        g_fixedModeDevices.push_back(device);
}

// Takes the exclusive lock on `fd` within `timeoutMs`: 0, or the error number (EWOULDBLOCK when
// the time ran out). flock has no time limit, so a contended lock is waited for on a thread of
// its own; polling instead would let a busy writer take the lock again before every poll.
// On failure `fd` is closed, by the waiting thread once it finally holds the lock.
int lockWithin(int fd, int timeoutMs) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return 0;
    if (errno != EWOULDBLOCK) {
        const int err = errno;
        ::close(fd);
        return err;
    }
    struct Wait {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool abandoned = false;
        int error = 0;
    };
    auto wait = std::make_shared<Wait>();
    std::thread([wait, fd] {
        int result;
        while ((result = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        const int err = result == 0 ? 0 : errno;
        std::lock_guard<std::mutex> guard(wait->mutex);
        if (wait->abandoned) {
            ::close(fd);
            return;
        }
        wait->finished = true;
        wait->error = err;
        wait->done.notify_one();
    }).detach();
    std::unique_lock<std::mutex> guard(wait->mutex);
    if (!wait->done.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return wait->finished; })) {
        wait->abandoned = true;
        return EWOULDBLOCK;
    }
    if (wait->error != 0)
        ::close(fd);
    return wait->error;
}

// Opens `file` for `path` and writes the pieces to its temporary.
bool writePieces(AtomicFileWriter& file, const std::string& path,
                 const std::vector<std::string_view>& pieces, mode_t newMode, std::string& error,
                 int* errorNumber, Links links) {
    if (!file.open(path, newMode, error, errorNumber, links))
        return false;
    for (std::string_view piece : pieces)
        if (!file.write(piece, error, errorNumber))
            return false;
    return true;
}

} // namespace

ReadStatus readWholeFile(const std::string& path, std::string& bytes, std::string& error,
                         std::size_t maxBytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        error = describe("cannot open", path, err);
        return err == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "'" + path + "' is not a regular file";
        ::close(fd);
        return ReadStatus::Failed;
    }
    // The size the file has now is read straight into place; a file that grows meanwhile
    // goes on through the buffer.
    std::size_t done = 0;
    if (st.st_size > 0 && static_cast<std::uint64_t>(st.st_size) <= maxBytes) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, &bytes[done], bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = describe("cannot read", path, errno);
                ::close(fd);
                return ReadStatus::Failed;
            }
            if (n == 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
        if (done < static_cast<std::size_t>(st.st_size)) { // shrank meanwhile: all read
            ::close(fd);
            return ReadStatus::Ok;
        }
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = describe("cannot read", path, errno);
            ::close(fd);
            return ReadStatus::Failed;
        }
        if (n == 0)
            break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            error = "'" + path + "' is too large";
            ::close(fd);
            return ReadStatus::Failed;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

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

namespace {

constexpr std::string_view kTemporaryStart = ".kvx-tmp-";

} // namespace

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

namespace {

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

} // namespace

std::string temporaryPrefixFor(const std::string& path) {
    const std::uint32_t key = TemporaryKey(baseNameOf(path)).value();
    static const char* const hex = "0123456789abcdef";
    std::string prefix(kTemporaryStart);
    for (int shift = 28; shift >= 0; shift -= 4)
        prefix += hex[(key >> shift) & 0x0F];
    return prefix;
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool replaceFileAtomically(const std::string& path, const std::string& bytes, mode_t newMode,
                           std::string& error, int* errorNumber, FolderSync folderSync,
                           Links links) {
    return replaceFileAtomically(path, std::vector<std::string_view>{bytes}, newMode, error,
                                 errorNumber, folderSync, links);
}

bool replaceFileAtomically(const std::string& path, const std::vector<std::string_view>& pieces,
                           mode_t newMode, std::string& error, int* errorNumber,
                           FolderSync folderSync, Links links) {
    AtomicFileWriter file;
    return writePieces(file, path, pieces, newMode, error, errorNumber, links) &&
           file.commit(error, errorNumber, folderSync);
}

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

void AtomicFileWriter::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
        m_fd = -1;
    }
}

// Drops the temporary; the system's error number goes with the text, for callers that word it
// themselves.
bool AtomicFileWriter::fail(const char* what, const std::string& where, std::string& error,
                            int* errorNumber) {
    const int err = errno;
    discard();
    if (errorNumber)
        *errorNumber = err;
    error = describe(what, where, err);
    return false;
}

bool AtomicFileWriter::open(const std::string& path, mode_t newMode, std::string& error,
                            int* errorNumber, Links links) {
    discard();
    m_target = path;
    struct stat st {};
    bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode) && links == Links::Replace) {
        // The new file takes the link's place; nothing of the target carries over.
        exists = false;
    } else if (exists && S_ISLNK(st.st_mode)) {
        // Replacing the link itself would cut it loose from the file it stands for.
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr)
            return fail("cannot follow the link", path, error, errorNumber);
        m_target = resolved;
        exists = ::stat(m_target.c_str(), &st) == 0;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        error = "'" + m_target + "' is not a regular file";
        if (errorNumber)
            *errorNumber = EISDIR;
        return false;
    }

    m_folder = folderOf(m_target);
    const std::string prefix = joinPath(m_folder, temporaryPrefixFor(m_target));
    // An existing file keeps its mode and owner; a new one (or one replacing a link) gets
    // `newMode`. The temporary is made with that mode, so that where the umask leaves it whole
    // no fchmod is needed: on a share each one is a round trip to the server.
    const mode_t mode = exists ? st.st_mode & 07777 : newMode;
    // The lock tells a clean-up that someone still writes this temporary. A clean-up that came
    // between the creation and the lock took the file away: then it is made again.
    struct stat created {};
    for (int attempt = 0;; ++attempt) {
        // A mode without the owner's reading and writing is set only once the file is open:
        // some shares open a file made read-only for reading only.
        const bool ownerWrites = (mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR);
        m_fd = createTemporary(prefix, ownerWrites ? mode : S_IRUSR | S_IWUSR, m_temporary);
        if (m_fd < 0)
            return fail("cannot create a file in", m_folder, error, errorNumber);
        // A file system without locks (some shares) leaves the age to protect the temporary.
        const bool locked = ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
        if ((locked || errno != EWOULDBLOCK) && ::fstat(m_fd, &created) == 0 &&
            created.st_nlink > 0)
            break;
        if (attempt == 2)
            return fail("cannot lock", m_target, error, errorNumber);
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
    }
    if ((created.st_mode & 07777) != mode && !modeDecidedByServer(created.st_dev) &&
        ::fchmod(m_fd, mode) != 0) {
        // Some shares (gvfs's SMB, ...) give every file the mode the server decides and
        // refuse to change it: the file is written as it comes.
        if (errno != EOPNOTSUPP && errno != ENOTSUP && errno != EPERM && errno != ENOSYS)
            return fail("cannot set the mode of", m_target, error, errorNumber);
        rememberModeDecidedByServer(created.st_dev);
    }
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
        // Only possible for a privileged writer; the file stays its owner's either way.
        [[maybe_unused]] const int ignored = ::fchown(m_fd, st.st_uid, st.st_gid);
    }
    return true;
}

bool AtomicFileWriter::write(std::string_view bytes, std::string& error, int* errorNumber) {
    if (m_fd < 0 || !writeAll(m_fd, bytes))
        return fail("cannot write", m_target, error, errorNumber);
    return true;
}

bool AtomicFileWriter::writeAt(std::uint64_t offset, std::string_view bytes, std::string& error,
                               int* errorNumber) {
    if (m_fd < 0)
        return fail("cannot write", m_target, error, errorNumber);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail("cannot write", m_target, error, errorNumber);
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicFileWriter::commit(std::string& error, int* errorNumber, FolderSync folderSync) {
    if (m_fd < 0)
        return fail("cannot write", m_target, error, errorNumber);
    if (::fsync(m_fd) != 0)
        return fail("cannot flush", m_target, error, errorNumber);
    if (!closeFile(error, errorNumber))
        return false;
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        const int err = errno;
        ::unlink(m_temporary.c_str());
        errno = err;
        return fail("cannot replace", m_target, error, errorNumber);
    }
    if (folderSync == FolderSync::Now)
        syncFolder(m_folder);
    return true;
}

bool AtomicFileWriter::flush(std::string& error, int* errorNumber) {
    if (m_fd < 0)
        return fail("cannot write", m_target, error, errorNumber);
    if (::fsync(m_fd) != 0)
        return fail("cannot flush", m_target, error, errorNumber);
    return true;
}

bool AtomicFileWriter::closeFile(std::string& error, int* errorNumber) {
    if (m_fd < 0)
        return fail("cannot write", m_target, error, errorNumber);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(m_temporary.c_str());
        errno = err;
        return fail("cannot write", m_target, error, errorNumber);
    }
    return true;
}

bool AtomicFileWriter::closeUnflushed(std::string& temporary, std::string& target,
                                      std::string& error, int* errorNumber) {
    if (!closeFile(error, errorNumber))
        return false;
    temporary = m_temporary;
    target = m_target;
    return true;
}

StagedReplacements::~StagedReplacements() {
    std::string error;
    commit(error);
}

bool StagedReplacements::stage(const std::string& path, const std::string& bytes, mode_t newMode,
                               std::string& error, int* errorNumber, Links links) {
    return stage(path, std::vector<std::string_view>{bytes}, newMode, error, errorNumber, links);
}

bool writeStagedFile(const std::string& path, const std::vector<std::string_view>& pieces,
                     mode_t newMode, bool flush, StagedFile& staged, std::string& error,
                     int* errorNumber, Links links) {
    AtomicFileWriter file;
    return writePieces(file, path, pieces, newMode, error, errorNumber, links) &&
           (!flush || file.flush(error, errorNumber)) &&
           file.closeUnflushed(staged.temporary, staged.target, error, errorNumber);
}

bool folderFlushedBySyncfs(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const bool flushed = syncfsReachesTheDisk(fd);
    ::close(fd);
    return flushed;
}

bool StagedReplacements::stage(const std::string& path, const std::vector<std::string_view>& pieces,
                               mode_t newMode, std::string& error, int* errorNumber, Links links) {
    // The folder is opened before the file is written, so that its flush hears of the
    // file's write-back errors; a link followed elsewhere adds its target's folder after.
    const Folder* folder = openFolder(folderOf(path), error, errorNumber);
    if (folder == nullptr)
        return false;
    // Where the group's one flush would reach no disk, each file is flushed before its rename.
    StagedFile staged;
    return writeStagedFile(path, pieces, newMode, !folder->syncfsWorks, staged, error, errorNumber,
                           links) &&
           adopt(std::move(staged), error, errorNumber);
}

bool StagedReplacements::watchFolder(const std::string& folder, std::string& error,
                                     int* errorNumber) {
    return openFolder(folder, error, errorNumber) != nullptr;
}

void StagedReplacements::watchFoldersOf(const StagedReplacements& other) {
    for (const Folder& folder : other.m_folders) {
        const int fd = ::fcntl(folder.fd, F_DUPFD_CLOEXEC, 0);
        if (fd >= 0)
            m_folders.push_back({folder.path, fd, folder.syncfsWorks});
    }
}

bool StagedReplacements::adopt(StagedFile staged, std::string& error, int* errorNumber) {
    const Folder* folder = openFolder(folderOf(staged.target), error, errorNumber);
    if (folder == nullptr) {
        ::unlink(staged.temporary.c_str());
        return false;
    }
    m_files.push_back(std::move(staged));
    return true;
}

void StagedReplacements::discardFrom(std::size_t count) {
    while (m_files.size() > count) {
        ::unlink(m_files.back().temporary.c_str());
        m_files.pop_back();
    }
}

const StagedReplacements::Folder*
StagedReplacements::openFolder(const std::string& folder, std::string& error, int* errorNumber) {
    for (const Folder& known : m_folders)
        if (known.path == folder)
            return &known;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (errorNumber)
            *errorNumber = err;
        error = describe("cannot create a file in", folder, err);
        return nullptr;
    }
    m_folders.push_back({folder, fd, syncfsReachesTheDisk(fd)});
    return &m_folders.back();
}

bool StagedReplacements::commit(std::string& error, int* errorNumber, std::string* failedPath,
                                std::size_t* notPlaced) {
    if (notPlaced)
        *notPlaced = 0;
    if (m_files.empty()) {
        closeFolders();
        return true;
    }
    auto failed = [&](const char* what, const std::string& where, const std::string& file, int err,
                      std::size_t from) {
        for (std::size_t i = from; i < m_files.size(); ++i)
            ::unlink(m_files[i].temporary.c_str());
        if (errorNumber)
            *errorNumber = err;
        if (failedPath)
            *failedPath = file;
        if (notPlaced)
            *notPlaced = m_files.size() - from;
        error = describe(what, where, err);
        return false;
    };
    bool ok = true;
    // One flush per file system: since Linux 5.8 it also reports the write-back errors met
    // since the folder was opened, so a file that did not reach the disk is never renamed.
    std::vector<dev_t> flushed;
    for (const Folder& folder : m_folders) {
        struct stat st {};
        if (!folder.syncfsWorks)
            continue; // its files were flushed one by one
        if (::fstat(folder.fd, &st) == 0 &&
            std::find(flushed.begin(), flushed.end(), st.st_dev) != flushed.end())
            continue;
        if (::syncfs(folder.fd) != 0) {
            const int err = errno;
            ok = failed("cannot flush", folder.path, unflushedFile(), err, 0);
            break;
        }
        flushed.push_back(st.st_dev);
    }
    for (std::size_t i = 0; ok && i < m_files.size(); ++i) {
        if (::rename(m_files[i].temporary.c_str(), m_files[i].target.c_str()) != 0)
            ok = failed("cannot replace", m_files[i].target, m_files[i].target, errno, i);
    }
    // The folders' new entries reach the disk; after a failure too, for the files renamed.
    for (const Folder& folder : m_folders)
        ::fsync(folder.fd);
    m_files.clear();
    closeFolders();
    return ok;
}

std::string StagedReplacements::unflushedFile() const {
    // A flush of the file system does not say whose data failed; each file's own flush does,
    // since the error is still unseen there.
    for (const StagedFile& staged : m_files) {
        const int fd = ::open(staged.temporary.c_str(), O_RDONLY | O_CLOEXEC);
        const bool failed = fd >= 0 && ::fsync(fd) != 0;
        if (fd >= 0)
            ::close(fd);
        if (failed)
            return staged.target;
    }
    return m_files.front().target;
}

void StagedReplacements::discard() {
    for (const StagedFile& staged : m_files)
        ::unlink(staged.temporary.c_str());
    m_files.clear();
    closeFolders();
}

void StagedReplacements::closeFolders() {
    for (const Folder& folder : m_folders)
        ::close(folder.fd);
    m_folders.clear();
}

void removeLeftoverTemporaries(const std::string& path, Links links, Leftovers which) {
    removeLeftoverTemporaries(std::vector<std::string>{path}, links, which);
}

namespace {

// Removes `file` when no writer holds its lock and, for Stale, it has been untouched long
// enough. The lock is held across the removal, so a writer cannot take the file back meanwhile.
void removeIfAbandoned(const std::string& file, Leftovers which, time_t now) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const bool old = now - st.st_mtime >= kStaleAfterSeconds;
        if (which == Leftovers::Abandoned || old) {
            // Where the file system has no locks, only age tells.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0 ? true : errno != EWOULDBLOCK && old)
                ::unlink(file.c_str());
        }
    }
    ::close(fd);
}

} // namespace

void removeLeftoverTemporaries(const std::vector<std::string>& paths, Links links,
                               Leftovers which) {
    // Temporaries sit beside the file a link stands for, as replaceFileAtomically puts them.
    std::map<std::string, std::vector<std::uint32_t>> keysByFolder;
    for (const auto& path : paths) {
        std::string target = path;
        char resolved[PATH_MAX];
        struct stat st {};
        if (links == Links::Follow && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
            ::realpath(path.c_str(), resolved) != nullptr)
            target = resolved;
        keysByFolder[folderOf(target)].push_back(TemporaryKey(baseNameOf(target)).value());
    }
    for (auto& [folder, keys] : keysByFolder)
        removeLeftoverTemporariesIn(folder, std::move(keys), which);
}

void removeLeftoverTemporariesIn(const std::string& folder, std::vector<std::uint32_t> keys,
                                 Leftovers which) {
    // Sorted rather than hashed: four bytes a key, where a set's node costs ten times that.
    std::sort(keys.begin(), keys.end());
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> leftovers;
    while (const dirent* entry = ::readdir(dir)) {
        std::uint32_t key = 0;
        if (keyOfTemporary(entry->d_name, key) && std::binary_search(keys.begin(), keys.end(), key))
            leftovers.push_back(joinPath(folder, entry->d_name));
    }
    ::closedir(dir);
    const time_t now = std::time(nullptr);
    for (const auto& leftover : leftovers)
        removeIfAbandoned(leftover, which, now);
}

FileLock::~FileLock() {
    release();
}

bool FileLock::acquire(const std::string& lockPath, std::string& error, int timeoutMs) {
    release();
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC); // flock needs no write access
    if (fd < 0) {
        error = describe("cannot open the lock file", lockPath, errno);
        return false;
    }
    const int err = lockWithin(fd, timeoutMs);
    if (err != 0) {
        error = err == EWOULDBLOCK ? "'" + lockPath + "' is held by another program"
                                   : describe("cannot lock", lockPath, err);
        return false; // the descriptor is closed, now or when the waiting thread gets the lock
    }
    m_fd = fd;
    return true;
}

void FileLock::release() {
    if (m_fd >= 0) {
        ::close(m_fd); // closing drops the lock
        m_fd = -1;
    }
}

} // namespace kvx
