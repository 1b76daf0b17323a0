// The file lists' reading rules: mask, hidden files, kinds of entries, order.

#include "drawing/desktop_folder.h"
#include "drawing/folder_listing.h"

#include <gtest/gtest.h>

#include <QString>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(Mask, matchesAsTheWindowsListsDid) {
    struct Case {
        const char* name;
        const char* mask;
        bool match;
    };
    const Case cases[] = {
        {"plan.dwg", "*.dwg", true},
        {"PLAN.DWG", "*.dwg", true},
        {"a.dwg.bak", "*.dwg", false},
        {"dwg", "*.dwg", false},
        {".dwg", "*.dwg", true},
        {"x.dwgx", "*.dwg", false},
        {"a.b.dwg", "*.dwg", true},
        {"page.htm", "*.htm", true},
        {"page.html", "*.htm", false},
        {"a1.dwg", "a?.dwg", true},
        {"a12.dwg", "a?.dwg", false},
        {"anything", "*", true},
        {"", "*", true},
        {"été.DWG", "*.dwg", true},
        {"aaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*c", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kvx::matchesMask(c.name, c.mask), c.match) << c.name << " " << c.mask;
}

class Folder : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kvx-list-XXXXXX";
        dir = ::mkdtemp(tmpl);
    }
    void TearDown() override { fs::remove_all(dir); }
    void touch(const std::string& name) { std::ofstream(dir / name) << "AC1015"; }
    fs::path dir;
};

TEST_F(Folder, listsPlainVisibleMatchingFilesInNameOrder) {
    for (const char* n : {"b.dwg", "A.DWG", "c.Dwg", ".hidden.dwg", "notes.txt", "a.dwg"})
        touch(n);
    fs::create_directory(dir / "sub.dwg");
    fs::create_symlink(dir / "b.dwg", dir / "link.dwg");
    fs::create_symlink(dir / "missing", dir / "dangling.dwg");
    ASSERT_EQ(::mkfifo((dir / "pipe.dwg").c_str(), 0600), 0);
    const kvx::FolderListing l = kvx::listFolder(dir.string(), "*.dwg");
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.names, (std::vector<std::string>{"A.DWG", "a.dwg", "b.dwg", "c.Dwg", "link.dwg"}));
}

TEST_F(Folder, missingFolderGivesTheSystemsReason) {
    const kvx::FolderListing l = kvx::listFolder((dir / "nope").string(), "*.dwg");
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.error, "No such file or directory");
    EXPECT_TRUE(l.names.empty());
}

TEST(Desktop, userDirsTextIsReadAsTheShellWould) {
    const QString text = QStringLiteral("# comment\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\n"
                                        "XDG_DOWNLOAD_DIR=\"$HOME/x\"\n"
                                        "XDG_DESKTOP_DIR=\"/data/My \\\"Desk\\\"\"\n");
    EXPECT_EQ(kvx::userDirFromText(text, "XDG_DESKTOP_DIR", "/home/u").toStdString(),
              "/data/My \"Desk\"");
    EXPECT_EQ(kvx::userDirFromText(text, "XDG_DOWNLOAD_DIR", "/home/u").toStdString(), "/home/u/x");
    EXPECT_TRUE(kvx::userDirFromText(text, "XDG_MUSIC_DIR", "/home/u").isEmpty());
}

} // namespace
