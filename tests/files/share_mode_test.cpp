// What shares answer differently from a local disk, stood in for inside this test program: its
// own fchmod, syncfs and fsync come before the C library's for the writer linked into it.

#include "files/atomic_file.h"
#include "files/staged_replacements.h"
#include "files/whole_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace shim {
std::atomic<int> fchmodError{0};
std::atomic<int> fchmodCalls{0};
std::atomic<int> syncfsError{0};
std::atomic<int> syncfsCalls{0};
std::string fsyncFailsFor;                  // a temporary's name prefix whose flush fails
std::atomic<bool> cleanUpBeforeLock{false}; // the next temporary goes before its writer locks it
} // namespace shim

namespace {
std::string pathOf(int fd) {
    char link[64], target[PATH_MAX] = {};
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    return ::readlink(link, target, sizeof target - 1) > 0 ? target : "";
}
} // namespace

extern "C" int flock(int fd, int operation) {
    if (shim::cleanUpBeforeLock && pathOf(fd).find(".kvx-tmp-") != std::string::npos) {
        shim::cleanUpBeforeLock = false;
        ::unlink(pathOf(fd).c_str());
    }
    return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

extern "C" int fchmod(int fd, mode_t mode) {
    ++shim::fchmodCalls;
    if (const int error = shim::fchmodError.load()) {
        errno = error;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_fchmod, fd, mode));
}

extern "C" int syncfs(int fd) {
    ++shim::syncfsCalls;
    if (const int error = shim::syncfsError.load()) {
        errno = error;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_syncfs, fd));
}

extern "C" int fsync(int fd) {
    if (!shim::fsyncFailsFor.empty()) {
        if (pathOf(fd).find(shim::fsyncFailsFor) != std::string::npos) {
            errno = EIO;
            return -1;
        }
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace {

struct Folder {
    Folder() {
        char templ[] = "/tmp/kvx-share-XXXXXX";
        path = ::mkdtemp(templ) ? templ : "";
    }
    ~Folder() {
        shim::fchmodError = 0;
        shim::syncfsError = 0;
        shim::fsyncFailsFor.clear();
        shim::cleanUpBeforeLock = false;
        std::filesystem::remove_all(path);
    }
    std::string path;
};

// gvfs's SMB and other shares give every file the server's mode and refuse fchmod: the file is
// written all the same. Any other refusal still fails, naming the file and the reason in words.
TEST(ShareMode, aModeTheServerDecidesDoesNotStopTheWrite) {
    struct Case {
        int error;
        bool written;
    } const cases[] = {{EIO, false}, {EOPNOTSUPP, true}, {EPERM, true}};
    const mode_t before = ::umask(077); // new files come 0600, so 0644 needs a fchmod
    for (const Case& c : cases) {
        SCOPED_TRACE(std::strerror(c.error));
        Folder folder;
        const std::string page = folder.path + "/index.htm";
        shim::fchmodError = c.error;
        shim::fchmodCalls = 0;
        std::string error;
        EXPECT_EQ(kvx::replaceFileAtomically(page, "page", 0644, error), c.written);
        EXPECT_EQ(std::filesystem::exists(page), c.written);
        if (!c.written) {
            EXPECT_NE(error.find(page), std::string::npos) << error;
            EXPECT_NE(error.find(std::strerror(c.error)), std::string::npos) << error;
        }
        // Asked once a folder: the next file there, and the one after, are not.
        for (const char* more : {"/a.htm", "/b.htm"})
            EXPECT_EQ(kvx::replaceFileAtomically(folder.path + more, "more", 0644, error, nullptr,
                                                 kvx::FolderSync::Now, kvx::Links::Replace),
                      c.written);
        EXPECT_EQ(shim::fchmodCalls.load(), c.written ? 1 : 3);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path),
                                std::filesystem::directory_iterator()),
                  c.written ? 3 : 0);
    }
    ::umask(before);
}

// A clean-up that took a temporary between its creation and its writer's lock: the writer
// sees that the file it holds is no longer in the folder and makes another.
TEST(AtomicFile, aTemporaryTakenBeforeItsLockIsMadeAgain) {
    Folder folder;
    const std::string page = folder.path + "/index.htm";
    shim::cleanUpBeforeLock = true;
    std::string error;
    EXPECT_TRUE(kvx::replaceFileAtomically(page, "page", 0644, error)) << error;
    EXPECT_FALSE(shim::cleanUpBeforeLock);
    std::string bytes;
    EXPECT_EQ(kvx::readWholeFile(page, bytes, error), kvx::ReadStatus::Ok);
    EXPECT_EQ(bytes, "page");
}

// A group with nothing staged puts nothing in place and flushes nothing.
TEST(StagedReplacements, aGroupWithNothingStagedFlushesNothing) {
    Folder folder;
    kvx::StagedReplacements group;
    std::string error;
    ASSERT_TRUE(group.watchFolder(folder.path, error)) << error;
    shim::syncfsError = EIO;
    shim::syncfsCalls = 0;
    std::string failed;
    EXPECT_TRUE(group.commit(error, nullptr, &failed)) << error;
    EXPECT_EQ(shim::syncfsCalls.load(), 0);
}

// A flush that fails names the file whose data did not reach the disk, not the group's first.
TEST(StagedReplacements, aFailedFlushNamesTheFileThatFailed) {
    Folder folder;
    kvx::StagedReplacements group;
    std::string error;
    for (const char* name : {"/a.htm", "/b.htm", "/c.htm"}) {
        kvx::StagedFile staged;
        ASSERT_TRUE(kvx::writeStagedFile(folder.path + name, {"new"}, 0644, false, staged, error) &&
                    group.adopt(std::move(staged), error))
            << error;
    }
    shim::syncfsError = EIO;
    shim::fsyncFailsFor = kvx::temporaryPrefixFor(folder.path + "/b.htm");
    std::string failed;
    std::size_t notPlaced = 0;
    EXPECT_FALSE(group.commit(error, nullptr, &failed, &notPlaced));
    EXPECT_EQ(failed, folder.path + "/b.htm");
    EXPECT_EQ(notPlaced, 3u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path),
                            std::filesystem::directory_iterator()),
              0);
}

} // namespace
