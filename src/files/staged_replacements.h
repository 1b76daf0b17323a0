#pragma once
// Files replaced as a group, with one flush of the disk for all of them, and the rule of when a
// flush of the file system reaches the disk at all. No Qt.

#include "files/atomic_file.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace kvx {

// A file written under its temporary name, waiting to be renamed over the file it replaces.
struct StagedFile {
    std::string temporary, target;
};

// Writes a file of a group under its temporary name, on any thread: flushed first when `flush`
// (where the group's one flush would reach no disk, see folderFlushedBySyncfs). The caller hands it
// to its group with adopt(), or removes the temporary.
bool writeStagedFile(const std::string& path, const std::vector<std::string_view>& pieces,
                     mode_t newMode, bool flush, StagedFile& staged, std::string& error,
                     int* errorNumber = nullptr, Links links = Links::Follow);

// Whether a flush of the folder's file system reaches the disk: not on network and FUSE shares,
// which answer it at once, so that staged files there are flushed one by one.
bool folderFlushedBySyncfs(const std::string& folder);

// Files replaced as a group, with one flush of the disk for all of them rather than one per
// file: each is written to its temporary beside the file it replaces (as replaceFileAtomically
// names them, with the same modes, links and error texts), and commit() flushes the file
// system once, then renames them in order and flushes their folders. On file systems that
// answer syncfs without flushing (network and FUSE shares) each file is flushed when staged.
// Readers see every file either old or whole; a crash before commit() ends may bring back old
// files, never half a file.
class StagedReplacements {
public:
    StagedReplacements() = default;
    StagedReplacements(const StagedReplacements&) = delete;
    StagedReplacements& operator=(const StagedReplacements&) = delete;
    // Puts in place what is still staged (nothing, once commit() or discard() ran); an error
    // here goes unheard: commit first to hear it.
    ~StagedReplacements();

    // Opens the folder now, before files are written into it with writeStagedFile, so that
    // the group's flush hears of their write-back errors.
    bool watchFolder(const std::string& folder, std::string& error, int* errorNumber = nullptr);
    // Watches the folders `other` watches through the same opened folders, so that a write-back
    // error is reported by whichever group flushes first after it, never missed between them.
    void watchFoldersOf(const StagedReplacements& other);
    // Takes a file written with writeStagedFile into the group. On failure its temporary goes.
    bool adopt(StagedFile staged, std::string& error, int* errorNumber = nullptr);
    // How many files wait for commit().
    std::size_t size() const { return m_files.size(); }

    // Flushes the staged files to disk and renames them into place, in the order staged. When
    // the flush fails no file is renamed; when a rename fails the files before it are in place.
    // Either way the temporaries left are removed, `error` says why, `failedPath` (when given)
    // names the file (for the flush, the one whose data failed), `notPlaced` how many files were
    // not put in place, and the group is empty afterwards.
    bool commit(std::string& error, int* errorNumber = nullptr, std::string* failedPath = nullptr,
                std::size_t* notPlaced = nullptr);
    // Drops the staged files: their temporaries go, the files at their paths stay as they were.
    void discard();
    // Drops the files staged after the first `count`, for a set of files that goes in whole or
    // not at all.
    void discardFrom(std::size_t count);

private:
    // Each folder is opened with its first file: the flush then reports any write-back error
    // since, the staged files' included.
    struct Folder {
        std::string path;
        int fd;
        bool syncfsWorks; // else each file is flushed when staged
    };
    const Folder* openFolder(const std::string& folder, std::string& error, int* errorNumber);
    void closeFolders();
    // The staged file whose data did not reach the disk, after a flush failed.
    std::string unflushedFile() const;

    std::vector<StagedFile> m_files;
    std::vector<Folder> m_folders;
};

} // namespace kvx
