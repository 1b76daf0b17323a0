#include "files/staged_replacements.h"

#include "files/paths.h"
#include "files/whole_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace kvx {

namespace {

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

} // namespace

StagedReplacements::~StagedReplacements() {
    std::string error;
    commit(error);
}

bool writeStagedFile(const std::string& path, const std::vector<std::string_view>& pieces,
                     mode_t newMode, bool flush, StagedFile& staged, std::string& error,
                     int* errorNumber, Links links) {
    AtomicFileWriter file;
    if (!file.open(path, newMode, error, errorNumber, links))
        return false;
    for (const std::string_view piece : pieces)
        if (!file.write(piece, error, errorNumber))
            return false;
    return (!flush || file.flush(error, errorNumber)) &&
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
        error = describeFailure("cannot create a file in", folder, err);
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
        error = describeFailure(what, where, err);
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

} // namespace kvx
