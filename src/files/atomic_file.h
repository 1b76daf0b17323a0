#pragma once
// Replacing a whole file so that readers never see half of it: written beside it under a
// temporary name, flushed, and renamed over it. No Qt: the setup command links this too.

#include "files/temporary_names.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace kvx {

// Who flushes the folder's new entry to disk once a file is replaced.
enum class FolderSync {
    Now,      // before replaceFileAtomically returns
    ByCaller, // the caller, with syncFolder, once for several files
};

// Writes `bytes` to a new file beside `path` (temporaryPrefixFor(path) + six characters, locked
// while it is written), flushes it to disk
// and renames it over `path`, so readers see either the old or the new file. A symbolic link at
// `path` is followed or replaced as `links` says; the temporary goes beside the file replaced.
// An existing file keeps its mode and owner; a new one (or one replacing a link) gets `newMode`. On
// failure nothing at `path` has changed, `error` says why and `errorNumber` (when given) holds the
// system's error number. Left to the caller, the folder's sync only decides whether a crash before
// it may bring back the old file: never half a file.
bool replaceFileAtomically(const std::string& path, const std::string& bytes, mode_t newMode,
                           std::string& error, int* errorNumber = nullptr,
                           FolderSync folderSync = FolderSync::Now, Links links = Links::Follow);
// The same for a file made of consecutive pieces, so that a large file need not be joined in
// memory first.
bool replaceFileAtomically(const std::string& path, const std::vector<std::string_view>& pieces,
                           mode_t newMode, std::string& error, int* errorNumber = nullptr,
                           FolderSync folderSync = FolderSync::Now, Links links = Links::Follow);

// A file written in steps beside its path and renamed over it by commit(), with the same
// guarantees as replaceFileAtomically (which uses it). Dropped before commit(), or after any
// failure, its temporary is removed and the file at the path is as it was.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    ~AtomicFileWriter();

    bool open(const std::string& path, mode_t newMode, std::string& error,
              int* errorNumber = nullptr, Links links = Links::Follow);
    // Appends at the current end of what was written in order.
    bool write(std::string_view bytes, std::string& error, int* errorNumber = nullptr);
    // Writes at `offset`, leaving the current position alone (for a part known only later).
    bool writeAt(std::uint64_t offset, std::string_view bytes, std::string& error,
                 int* errorNumber = nullptr);
    // Flushes the file to disk and renames it over the path.
    bool commit(std::string& error, int* errorNumber = nullptr,
                FolderSync folderSync = FolderSync::Now);
    // Flushes what was written to disk, without committing it.
    bool flush(std::string& error, int* errorNumber = nullptr);
    // Closes the file without flushing it and leaves it under its temporary name, which
    // `temporary` receives with the path it is meant for in `target`: the caller flushes and
    // renames it, with others at once (StagedReplacements).
    bool closeUnflushed(std::string& temporary, std::string& target, std::string& error,
                        int* errorNumber = nullptr);

private:
    void discard();
    bool closeFile(std::string& error, int* errorNumber);
    bool fail(const char* what, const std::string& where, std::string& error, int* errorNumber);

    int m_fd = -1;
    std::string m_target, m_folder, m_temporary;
};

// Flushes a folder's entries (names created, renamed or removed) to disk.
void syncFolder(const std::string& folder);

} // namespace kvx
