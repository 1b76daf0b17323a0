#include "files/atomic_file.h"

#include "files/paths.h"
#include "files/whole_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kvx {

namespace {

// Folders whose file system refused a mode once (a share where the server decides it): asking
// again, or looking at what stands at a file's name to keep its mode, would cost each file a
// round trip.
std::mutex g_fixedModeMutex;
std::vector<std::string> g_fixedModeFolders;

bool modeDecidedByServer(const std::string& folder) {
    const std::lock_guard<std::mutex> lock(g_fixedModeMutex);
    return std::find(g_fixedModeFolders.begin(), g_fixedModeFolders.end(), folder) !=
           g_fixedModeFolders.end();
}

void rememberModeDecidedByServer(const std::string& folder) {
    const std::lock_guard<std::mutex> lock(g_fixedModeMutex);
    if (std::find(g_fixedModeFolders.begin(), g_fixedModeFolders.end(), folder) ==
        g_fixedModeFolders.end())
        g_fixedModeFolders.push_back(folder);
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
    error = describeFailure(what, where, err);
    return false;
}

bool AtomicFileWriter::open(const std::string& path, mode_t newMode, std::string& error,
                            int* errorNumber, Links links) {
    discard();
    m_target = path;
    struct stat st {};
    // Where the server decides the mode, a file or a link at the name is replaced alike and
    // nothing of it carries over; a folder there fails the rename.
    const bool lookFirst = links == Links::Follow || !modeDecidedByServer(folderOf(path));
    bool exists = lookFirst && ::lstat(path.c_str(), &st) == 0;
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
    if ((created.st_mode & 07777) != mode && !modeDecidedByServer(m_folder) &&
        ::fchmod(m_fd, mode) != 0) {
        // Some shares (gvfs's SMB, ...) give every file the mode the server decides and
        // refuse to change it: the file is written as it comes.
        if (errno != EOPNOTSUPP && errno != ENOTSUP && errno != EPERM && errno != ENOSYS)
            return fail("cannot set the mode of", m_target, error, errorNumber);
        rememberModeDecidedByServer(m_folder);
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
    if (m_fd < 0 || !writeAll(m_fd, bytes, static_cast<std::int64_t>(offset)))
        return fail("cannot write", m_target, error, errorNumber);
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

} // namespace kvx
