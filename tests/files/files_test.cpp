#include "files/atomic_file.h"
#include "files/name_list.h"
#include "files/staged_replacements.h"
#include "files/whole_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A fresh folder for one test, removed when it ends.
struct ScratchFolder {
    ScratchFolder() {
        char templ[] = "/tmp/kvx-files-XXXXXX";
        path = ::mkdtemp(templ) ? templ : "";
    }
    ~ScratchFolder() { std::filesystem::remove_all(path); }
    std::string path;
};

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

// Stages a file into `group`, as a batch's worker writes it and its window adopts it.
bool stage(kvx::StagedReplacements& group, const std::string& path, const std::string& bytes,
           std::string& error, int* err = nullptr, kvx::Links links = kvx::Links::Follow) {
    kvx::StagedFile staged;
    return kvx::writeStagedFile(path, {bytes}, 0644, false, staged, error, err, links) &&
           group.adopt(std::move(staged), error, err);
}

std::string contentOf(const std::string& path) {
    std::string bytes, error;
    return kvx::readWholeFile(path, bytes, error) == kvx::ReadStatus::Ok ? bytes
                                                                         : "<" + error + ">";
}

// Replacing a file that is a symbolic link: the settings file follows it to its target; pages
// and reports in a drawing folder replace the link itself and never write where it points.
// Either way the temporaries go beside the file that is replaced, and a killed write's
// leftover is found there.
TEST(AtomicFile, aLinkIsFollowedOrReplacedAsAsked) {
    struct Case {
        kvx::Links links;
        std::string atTarget; // what the link's target holds afterwards
        bool stillALink;
    } const cases[] = {{kvx::Links::Follow, "new", true}, {kvx::Links::Replace, "mine", false}};
    for (const Case& c : cases) {
        ScratchFolder scratch;
        const std::string home = scratch.path + "/home", folder = scratch.path + "/plans";
        ASSERT_EQ(::mkdir(home.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        std::string error;
        ASSERT_TRUE(kvx::replaceFileAtomically(home + "/.profile", "mine", 0644, error));
        const std::string page = folder + "/haut.htm";
        ASSERT_EQ(::symlink((home + "/.profile").c_str(), page.c_str()), 0);
        // What a killed write left beside the file it would have replaced.
        const std::string besideTarget =
            home + "/" + kvx::temporaryPrefixFor(home + "/.profile") + "Ab12Cd";
        const std::string besideLink = folder + "/" + kvx::temporaryPrefixFor(page) + "Ab12Cd";
        for (const std::string& leftover : {besideTarget, besideLink})
            ASSERT_TRUE(kvx::replaceFileAtomically(leftover, "partial", 0600, error));

        kvx::removeLeftoverTemporaries(page, c.links);
        EXPECT_EQ(::access(besideTarget.c_str(), F_OK) == 0, c.links == kvx::Links::Replace);
        EXPECT_EQ(::access(besideLink.c_str(), F_OK) == 0, c.links == kvx::Links::Follow);
        ASSERT_TRUE(kvx::replaceFileAtomically(page, "new", 0644, error, nullptr,
                                               kvx::FolderSync::Now, c.links))
            << error;

        EXPECT_EQ(contentOf(home + "/.profile"), c.atTarget);
        EXPECT_EQ(contentOf(page), "new");
        struct stat st {};
        ASSERT_EQ(::lstat(page.c_str(), &st), 0);
        EXPECT_EQ(S_ISLNK(st.st_mode), c.stillALink);
    }
}

// A clean-up takes only what no writer can come back to: a temporary being written is locked,
// and a staged one (closed until its group's commit, perhaps by another copy of the program)
// is taken only once it has lain untouched for an hour. Temporaries of other files stay.
TEST(AtomicFile, aCleanUpLeavesWhatAWriterMayStillHold) {
    ScratchFolder scratch;
    const std::string page = scratch.path + "/" + std::string(250, 'n') + ".htm";
    std::string error;
    kvx::AtomicFileWriter writing; // a name of 254 bytes still gets its temporary
    ASSERT_TRUE(writing.open(page, 0644, error)) << error;
    const std::string prefix = scratch.path + "/" + kvx::temporaryPrefixFor(page);
    const std::string fresh = prefix + "fresh1", old = prefix + "old123";
    const std::string other = scratch.path + "/" + kvx::temporaryPrefixFor("o.htm") + "old123";
    for (const std::string& leftover : {fresh, old, other})
        std::ofstream(leftover) << "staged";
    const timespec hoursAgo[2] = {{std::time(nullptr) - 7200, 0}, {std::time(nullptr) - 7200, 0}};
    for (const std::string& aged : {old, other})
        ASSERT_EQ(::utimensat(AT_FDCWD, aged.c_str(), hoursAgo, 0), 0);

    // Every writer of such a file locks its temporary: what no writer holds goes, fresh or
    // old, the writer's own stays, and another file's is not looked at.
    kvx::removeLeftoverTemporaries(page, kvx::Links::Replace);
    EXPECT_NE(::access(fresh.c_str(), F_OK), 0);
    EXPECT_NE(::access(old.c_str(), F_OK), 0);
    EXPECT_EQ(::access(other.c_str(), F_OK), 0);
    EXPECT_EQ(namesIn(scratch.path).size(), 2u); // the writer's, other
    ASSERT_TRUE(writing.write("whole", error) && writing.commit(error)) << error;
    EXPECT_EQ(contentOf(page), "whole");
}

// Whole-file reads on both sides of the read size, and past the limit.
TEST(ReadWholeFile, givesBackEveryByteUpToTheLimit) {
    ScratchFolder scratch;
    const std::string path = scratch.path + "/a.dwg";
    const struct {
        std::size_t size;
        std::size_t limit;
        kvx::ReadStatus status;
    } cases[] = {{0, 10, kvx::ReadStatus::Ok},
                 {65537, 1 << 20, kvx::ReadStatus::Ok},
                 {11, 10, kvx::ReadStatus::Failed}};
    for (const auto& c : cases) {
        std::string written(c.size, '\0');
        for (std::size_t i = 0; i < c.size; ++i)
            written[i] = static_cast<char>(i * 7 + i / 251);
        std::ofstream(path, std::ios::binary) << written;
        std::string bytes, error;
        EXPECT_EQ(kvx::readWholeFile(path, bytes, error, c.limit), c.status) << c.size;
        if (c.status == kvx::ReadStatus::Ok) {
            EXPECT_EQ(bytes, written) << c.size;
        }
    }
    std::string bytes, error;
    EXPECT_EQ(kvx::readWholeFile(path + ".gone", bytes, error), kvx::ReadStatus::Missing);
}

// Staged files stay under their temporary names until commit, then all are whole under their
// own: a new file with the mode asked for, a replaced one with its old mode, a link replaced
// by a file while what it pointed to is left alone.
TEST(StagedReplacements, filesAppearWholeOnlyAtCommit) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path.empty());
    const std::string outside = scratch.path + "/outside", folder = scratch.path + "/plans";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    std::string error;
    ASSERT_TRUE(kvx::replaceFileAtomically(outside, "theirs", 0644, error));
    ASSERT_TRUE(kvx::replaceFileAtomically(folder + "/old.htm", "old", 0600, error));
    ASSERT_TRUE(kvx::replaceFileAtomically(folder + "/kept.htm", "kept", 0444, error));
    ASSERT_EQ(::symlink(outside.c_str(), (folder + "/link.htm").c_str()), 0);
    struct Case {
        std::string name;
        mode_t mode; // afterwards
    } const cases[] = {
        {"new.jpg", 0644}, {"old.htm", 0600}, {"kept.htm", 0444}, {"link.htm", 0644}};

    kvx::StagedReplacements group;
    for (const Case& c : cases)
        ASSERT_TRUE(stage(group, folder + "/" + c.name, std::string(100000, c.name[0]), error,
                          nullptr, kvx::Links::Replace))
            << error;
    EXPECT_EQ(::access((folder + "/new.jpg").c_str(), F_OK), -1);
    EXPECT_EQ(contentOf(folder + "/old.htm"), "old");
    EXPECT_EQ(contentOf(folder + "/link.htm"), "theirs");

    ASSERT_TRUE(group.commit(error)) << error;
    EXPECT_EQ(group.size(), 0u);
    EXPECT_EQ(namesIn(folder),
              (std::vector<std::string>{"kept.htm", "link.htm", "new.jpg", "old.htm"}));
    for (const Case& c : cases) {
        const std::string path = folder + "/" + c.name;
        EXPECT_EQ(contentOf(path), std::string(100000, c.name[0])) << c.name;
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << c.name;
        EXPECT_EQ(st.st_mode & 07777, c.mode) << c.name;
    }
    EXPECT_EQ(contentOf(outside), "theirs");
}

// A failure keeps every file whole: a file that cannot be staged says why, as
// replaceFileAtomically would, and leaves nothing; a rename that fails at commit names its
// file, the files before it are in place, the rest keep their old content, and no temporary
// is left.
TEST(StagedReplacements, aFailureKeepsTheOldFilesAndLeavesNoTemporary) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path.empty());
    std::string error, expectedError, failedPath;
    int err = 0;
    ASSERT_TRUE(kvx::replaceFileAtomically(scratch.path + "/c.htm", "old c", 0644, error));
    ASSERT_EQ(::mkdir((scratch.path + "/dir.htm").c_str(), 0755), 0);
    kvx::StagedReplacements group;
    for (const char* name : {"a.htm", "b.htm", "c.htm"})
        ASSERT_TRUE(stage(group, scratch.path + "/" + name, name, error)) << error;
    EXPECT_FALSE(stage(group, scratch.path + "/dir.htm", "lost", error, &err));
    EXPECT_EQ(err, EISDIR);
    EXPECT_FALSE(
        kvx::replaceFileAtomically(scratch.path + "/dir.htm", "lost", 0644, expectedError));
    EXPECT_EQ(error, expectedError);
    EXPECT_EQ(group.size(), 3u);
    // A folder now stands where b goes, with something in it.
    ASSERT_EQ(::mkdir((scratch.path + "/b.htm").c_str(), 0755), 0);
    ASSERT_TRUE(kvx::replaceFileAtomically(scratch.path + "/b.htm/x", "x", 0644, error));

    err = 0;
    std::size_t notPlaced = 0;
    EXPECT_FALSE(group.commit(error, &err, &failedPath, &notPlaced));
    EXPECT_EQ(failedPath, scratch.path + "/b.htm");
    EXPECT_EQ(notPlaced, 2u); // b and c
    EXPECT_NE(err, 0);
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;
    EXPECT_EQ(namesIn(scratch.path),
              (std::vector<std::string>{"a.htm", "b.htm", "c.htm", "dir.htm"}));
    EXPECT_EQ(contentOf(scratch.path + "/a.htm"), "a.htm");
    EXPECT_EQ(contentOf(scratch.path + "/c.htm"), "old c");
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path + "/dir.htm"));
    EXPECT_EQ(group.size(), 0u);
}

} // namespace

// A list handed on shares its buffer: a change to either copy must not show in the other.
TEST(NameList, copiesChangeApartAndKeepEveryByte) {
    const std::string odd("z\t\xe9\xff", 4);
    kvx::NameList list{"b", "", odd, "a"};
    const kvx::NameList kept = list;
    list.erase(0);
    list.push_back("c");
    EXPECT_EQ(kept, (kvx::NameList{"b", "", odd, "a"}));
    EXPECT_EQ(list, (kvx::NameList{"", odd, "a", "c"}));
    kvx::NameList sorted = kept;
    sorted.sort(std::less<std::string_view>());
    EXPECT_EQ(sorted, (kvx::NameList{"", "a", "b", odd}));
    EXPECT_EQ(sorted[3], odd);
    EXPECT_EQ(kept[2], odd);
}

// Lists past the size whose buffers are mapped apart: grown a name at a time, or set aside far
// beyond what they hold (as a large folder's listing is), copied, changed apart and sorted.
TEST(NameList, largeListsKeepEveryNameThroughGrowthCopiesAndSorting) {
    kvx::NameList grown, reserved;
    reserved.reserve(std::size_t{1} << 20, std::size_t{16} << 20);
    for (int i = 79999; i >= 0; --i) {
        const std::string name = "plan " + std::to_string(i) + ".dwg";
        grown.push_back(name);
        reserved.push_back(name);
    }
    EXPECT_EQ(grown, reserved);
    kvx::NameList sorted = grown;
    sorted.sort(std::less<std::string_view>());
    grown.erase(0);
    ASSERT_EQ(grown.size(), 79999u);
    EXPECT_EQ(grown[0], "plan 79998.dwg");
    EXPECT_EQ(reserved[0], "plan 79999.dwg");
    EXPECT_EQ(sorted[0], "plan 0.dwg");
    EXPECT_EQ(sorted[79999], "plan 9999.dwg");
}
