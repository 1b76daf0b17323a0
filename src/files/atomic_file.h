#pragma once
// Whole-file reads and replacements that never leave half a file behind. No Qt: the setup
// command links this too.

#include <cstdint>
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

// What a symbolic link at the path to replace stands for.
enum class Links {
    Follow,  // the file it points to is replaced, the link stays (the settings file)
    Replace, // the link itself is replaced, its target never written (files in a drawing
             // folder, where an unpacked archive may hold links to anywhere)
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

// A file written under its temporary name, waiting to be renamed over the file it replaces.
struct StagedFile {
    std::string temporary, target;
};

// Writes a file of a group on its own, on any thread, as StagedReplacements::stage does: flushed
// first when `flush` (see folderFlushedBySyncfs). The caller hands it to its group with adopt(),
// or removes the temporary.
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
    // Commits what is staged: files written stay written. An error here goes unheard (commit
    // first to hear it); the group's temporaries are gone either way.
    ~StagedReplacements();

    // Writes the file's temporary. On failure nothing of it is left and the files staged
    // before stay staged.
    bool stage(const std::string& path, const std::string& bytes, mode_t newMode,
               std::string& error, int* errorNumber = nullptr, Links links = Links::Follow);
    bool stage(const std::string& path, const std::vector<std::string_view>& pieces, mode_t newMode,
               std::string& error, int* errorNumber = nullptr, Links links = Links::Follow);
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

// Flushes a folder's entries (names created, renamed or removed) to disk.
void syncFolder(const std::string& folder);

// What a temporary's name says of the file it is meant for: a hash of that file's bare name.
class TemporaryKey {
public:
    explicit TemporaryKey(std::string_view name);
    // The key of the name followed by `more` (a report's ".jpg" after the drawing's name).
    TemporaryKey& add(std::string_view more);
    std::uint32_t value() const { return m_value; }

private:
    std::uint32_t m_value = 2166136261u;
};

// The start of every temporary name written for `path` (".kvx-tmp-" and eight hex digits that
// stand for its name); six random characters follow. One short length, so that any name that
// fits the file system can be replaced.
std::string temporaryPrefixFor(const std::string& path);

// The key a temporary's name stands for; false for any other name.
bool keyOfTemporary(std::string_view name, std::uint32_t& key);
// Removes a temporary unless a writer holds its lock; true when it went.
bool removeUnheldTemporary(const std::string& file);

// Which temporaries a clean-up may take. A writer holds a lock on its temporary while it writes;
// a staged one (StagedReplacements) is closed until its group's commit, so only its age tells.
enum class Leftovers {
    Abandoned, // no writer holds it: where every writer of the file locks (the settings, the .chm)
    Stale,     // no writer holds it and it was untouched for an hour (report files, which
               // another copy's batch may have staged)
};

// Removes temporary files that an interrupted replaceFileAtomically, or a staged group that
// never came to its commit, left beside `path`. `links` as the writer of `path` has it.
void removeLeftoverTemporaries(const std::string& path, Links links, Leftovers which);
// The same for several files, each folder read once.
void removeLeftoverTemporaries(const std::vector<std::string>& paths, Links links, Leftovers which);
// The same for the files of one folder whose keys are given, in any order (as Links::Replace
// places their temporaries): a folder of thousands of reports without a path kept for each.
void removeLeftoverTemporariesIn(const std::string& folder, std::vector<std::uint32_t> keys,
                                 Leftovers which);

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
