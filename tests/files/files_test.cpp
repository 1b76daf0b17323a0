#include "files/atomic_file.h"
#include "files/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <fstream>
#include <unistd.h>

namespace {

TEST(Paths, joinAddsOneSlash) {
    EXPECT_EQ(kvx::joinPath("/plans", "a.dwg"), "/plans/a.dwg");
    EXPECT_EQ(kvx::joinPath("/", "a.dwg"), "/a.dwg");
    EXPECT_EQ(kvx::joinPath("/plans/", "a.dwg"), "/plans/a.dwg");
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
    } const cases[] = {
        {kvx::Links::Follow, "new", true},
        {kvx::Links::Replace, "mine", false},
    };
    for (const Case& c : cases) {
        char templ[] = "/tmp/kvx-files-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        const std::string root = templ;
        const std::string home = root + "/home", folder = root + "/plans";
        ASSERT_EQ(::mkdir(home.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        std::string error;
        ASSERT_TRUE(kvx::replaceFileAtomically(home + "/.profile", "mine", 0644, error));
        const std::string page = folder + "/haut.htm";
        ASSERT_EQ(::symlink((home + "/.profile").c_str(), page.c_str()), 0);
        // What a killed write left beside the file it would have replaced.
        const std::string besideTarget = home + "/..profile.kvx-tmp-Ab12Cd";
        const std::string besideLink = folder + "/.haut.htm.kvx-tmp-Ab12Cd";
        for (const std::string& leftover : {besideTarget, besideLink})
            ASSERT_TRUE(kvx::replaceFileAtomically(leftover, "partial", 0600, error));

        kvx::removeLeftoverTemporaries({page}, c.links);
        EXPECT_EQ(::access(besideTarget.c_str(), F_OK) == 0, c.links == kvx::Links::Replace);
        EXPECT_EQ(::access(besideLink.c_str(), F_OK) == 0, c.links == kvx::Links::Follow);
        ASSERT_TRUE(kvx::replaceFileAtomically(page, "new", 0644, error, nullptr,
                                               kvx::FolderSync::Now, c.links))
            << error;

        std::string bytes;
        ASSERT_EQ(kvx::readWholeFile(home + "/.profile", bytes, error), kvx::ReadStatus::Ok);
        EXPECT_EQ(bytes, c.atTarget);
        ASSERT_EQ(kvx::readWholeFile(page, bytes, error), kvx::ReadStatus::Ok);
        EXPECT_EQ(bytes, "new");
        struct stat st {};
        ASSERT_EQ(::lstat(page.c_str(), &st), 0);
        EXPECT_EQ(S_ISLNK(st.st_mode), c.stillALink);
        std::filesystem::remove_all(root);
    }
}

TEST(ReadWholeFile, givesBackEveryByteUpToTheLimit) {
    const std::string path = ::testing::TempDir() + "kvx-read-" + std::to_string(::getpid());
    const struct {
        std::size_t size;
        std::size_t limit;
        kvx::ReadStatus status;
    } cases[] = {{0, 10, kvx::ReadStatus::Ok},           {1, 10, kvx::ReadStatus::Ok},
                 {65536, 1 << 20, kvx::ReadStatus::Ok},  {65537, 1 << 20, kvx::ReadStatus::Ok},
                 {200000, 1 << 20, kvx::ReadStatus::Ok}, {11, 10, kvx::ReadStatus::Failed}};
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
    ::unlink(path.c_str());
    std::string bytes, error;
    EXPECT_EQ(kvx::readWholeFile(path, bytes, error), kvx::ReadStatus::Missing);
}

} // namespace
