#pragma once
// Whole-file reads and replacements that never leave half a file behind. No Qt: the setup
// command links this too.

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace kvx {

enum class ReadStatus { Ok, Missing, Failed };

// Reads a whole regular file of at most `maxBytes`. `error` says why when not Ok.
ReadStatus readWholeFile(const std::string& path, std::string& bytes, std::string& error,
                         std::size_t maxBytes = 64u << 20);

// Who flushes the folder's new entry to disk once a file is replaced.
enum class FolderSync {
    Now,      // before replaceFileAtomically returns
    ByCaller, // the caller, with syncFolder, once for several files
};

// Writes `bytes` to a new file beside `path` (".<name>.kvx-tmp-XXXXXX"), flushes it to disk
// and renames it over `path`, so readers see either the old or the new file. A symbolic link at
// `path` is followed and its target replaced. An existing file keeps its mode and owner; a new one
// gets `newMode`. On failure nothing at `path` has changed, `error` says why and `errorNumber`
// (when given) holds the system's error number. Left to the caller, the folder's sync only
// decides whether a crash before it may bring back the old file: never half a file.
bool replaceFileAtomically(const std::string& path, const std::string& bytes, mode_t newMode,
                           std::string& error, int* errorNumber = nullptr,
                           FolderSync folderSync = FolderSync::Now);
// The same for a file made of consecutive pieces, so that a large file need not be joined in
// memory first.
bool replaceFileAtomically(const std::string& path, const std::vector<std::string_view>& pieces,
                           mode_t newMode, std::string& error, int* errorNumber = nullptr,
                           FolderSync folderSync = FolderSync::Now);

// Flushes a folder's entries (names created, renamed or removed) to disk.
void syncFolder(const std::string& folder);

// Removes temporary files that an interrupted replaceFileAtomically left beside `path`.
// A writer of `path` running at this very moment would lose its temporary and report a
// failure, so call it under the lock all writers take, or where such a race is harmless.
void removeLeftoverTemporaries(const std::string& path);
// The same for several files, each folder read once.
void removeLeftoverTemporaries(const std::vector<std::string>& paths);

// An exclusive advisory lock on a lock file, released when the object goes away.
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Takes the lock on `lockPath`, creating the file when needed. Waits at most
    // `timeoutMs` for another holder to let go: a copy stopped while holding the lock must
    // not freeze this one.
    bool acquire(const std::string& lockPath, std::string& error, int timeoutMs = 2000);
    void release();

private:
    int m_fd = -1;
};

} // namespace kvx
