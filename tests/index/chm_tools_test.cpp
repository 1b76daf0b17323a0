// hhc.exe and hh.exe end to end: real index folders compiled by chmcmd, read back with
// chmlib, unpacked into a private cache and handed to a recording opener.

#include "support/index_folder.h"

#include "chm_extract.h"

#include <chm_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

struct ToolRun {
    int exitCode;
    std::string err;
};

// Runs a tool with one argument; stderr is kept.
ToolRun run(const char* tool, const std::string& argument, const fs::path& scratch) {
    const fs::path err = scratch / "stderr.txt";
    const int status =
        std::system((quoted(tool) + " " + quoted(argument) + " 2>" + quoted(err.string())).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(err)};
}

int collect(chmFile*, chmUnitInfo* ui, void* context) {
    // chmcmd signs every file with an entry of its own; it is no page of ours.
    if (std::string(ui->path) != "/_#_README_#_")
        static_cast<std::vector<std::string>*>(context)->push_back(ui->path + 1);
    return CHM_ENUMERATOR_CONTINUE;
}

// The user entries of a compiled file (pages and pictures), without their leading "/".
std::vector<std::string> chmEntries(const fs::path& chm) {
    std::vector<std::string> names;
    chmFile* h = chm_open(chm.c_str());
    if (!h)
        return {"<cannot open>"};
    chm_enumerate(h, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collect, &names);
    chm_close(h);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> filesUnder(const fs::path& root) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

class ChmTools : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kvx-chm-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "cache");
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
        ::setenv("KORVENIX_NO_MESSAGE_BOX", "1", 1);
        // Under AddressSanitizer, hh.exe's Qt keeps caches until exit: not our leaks.
        const char* asan = std::getenv("ASAN_OPTIONS");
        ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
        // The opener records the address it is given.
        opener = dir / "opener.sh";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> "
                              << quoted((dir / "opened").string()) << "\n";
        fs::permissions(opener, fs::perms::owner_all);
        ::setenv("KORVENIX_OPENER", opener.c_str(), 1);
        ::unsetenv("KORVENIX_CHMCMD");
    }
    void TearDown() override { fs::remove_all(dir); }

    // An index folder of `reports` reports, compiled; returns its file names.
    std::vector<std::string> compiled(const fs::path& folder, int reports) {
        fs::create_directories(folder);
        std::vector<std::string> names = kvxtest::writeIndexFolder(folder.string(), reports);
        const ToolRun r = run(KVX_HHC, (folder / "index.htm").string(), dir);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return names;
    }

    // Waits for the detached opener to have written its whole line (the shell creates the
    // file before it writes to it).
    std::string opened() {
        std::string line;
        for (int i = 0; i < 1200 && (line.empty() || line.back() != '\n'); ++i) {
            ::usleep(50000);
            line = slurp(dir / "opened");
        }
        return line;
    }

    fs::path dir, opener;
};

TEST_F(ChmTools, CompiledFileHoldsExactlyTheFolderPagesAndPictures) {
    for (int reports : {0, 3, 1000}) {
        SCOPED_TRACE(reports);
        const fs::path folder = dir / ("R&D #" + std::to_string(reports) + " \xC3\xA9t\xC3\xA9");
        const std::vector<std::string> names = compiled(folder, reports);
        EXPECT_EQ(names.size(), 5u + 2u * reports);
        // Nothing else: not the project file, not the work folder.
        std::vector<std::string> onDisk;
        for (const auto& e : fs::directory_iterator(folder))
            onDisk.push_back(e.path().filename().string());
        std::sort(onDisk.begin(), onDisk.end());
        std::vector<std::string> expected = names;
        expected.push_back("hhctest.chm");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(onDisk, expected);
        EXPECT_EQ(chmEntries(folder / "hhctest.chm"), names);
    }
}

TEST_F(ChmTools, ViewerUnpacksEveryEntryOfALargeFileWhateverItsListingHead) {
    const fs::path folder = dir / "plans";
    const std::vector<std::string> names = compiled(folder, 1000);
    // Put back what chmcmd writes: the second listing chunk named as the first, which
    // makes chmlib's own listing skip the first chunk.
    std::string bytes = slurp(folder / "hhctest.chm");
    std::uint64_t dirOffset = 0;
    for (int i = 7; i >= 0; --i)
        dirOffset = (dirOffset << 8) | static_cast<unsigned char>(bytes[0x48 + i]);
    bytes.replace(dirOffset + 0x20, 4, std::string("\x01\0\0\0", 4));
    const fs::path chm = dir / "as chmcmd wrote it.chm";
    std::ofstream(chm, std::ios::binary) << bytes;
    ASSERT_LT(chmEntries(chm).size(), names.size());

    ASSERT_EQ(run(KVX_HH, chm.string(), dir).exitCode, 0);
    const std::string url = opened();
    const fs::path unpacked = url.substr(7, url.size() - 7 - 11);
    for (const std::string& name : names)
        EXPECT_EQ(fs::file_size(unpacked / name), fs::file_size(folder / name)) << name;
}

TEST_F(ChmTools, NoIndexPageOrAFailedCompileLeavesNoNewFile) {
    const fs::path folder = dir / "plans";
    fs::create_directories(folder);
    std::ofstream(folder / "notes.txt") << "x";
    std::ofstream(folder / "a.dwg.htm") << "<html></html>";
    struct Case {
        const char* what;
        std::string argument;
        const char* compiler;
    };
    const Case cases[] = {
        {"no index.htm", (folder / "index.htm").string(), nullptr},
        {"not a page", (folder / "notes.txt").string(), nullptr},
        {"no argument text", "", nullptr},
        {"compiler fails", (folder / "a.dwg.htm").string(), "/bin/false"},
        {"compiler missing", (folder / "a.dwg.htm").string(), "/no/such/chmcmd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.compiler)
            ::setenv("KORVENIX_CHMCMD", c.compiler, 1);
        const ToolRun r = run(KVX_HHC, c.argument, dir);
        ::unsetenv("KORVENIX_CHMCMD");
        EXPECT_NE(r.exitCode, 0);
        EXPECT_FALSE(fs::exists(folder / "hhctest.chm"));
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    // An earlier compiled file stays as it was when a new compile fails.
    std::ofstream(folder / "hhctest.chm") << "earlier";
    ::setenv("KORVENIX_CHMCMD", "/bin/false", 1);
    EXPECT_NE(run(KVX_HHC, (folder / "a.dwg.htm").string(), dir).exitCode, 0);
    ::unsetenv("KORVENIX_CHMCMD");
    EXPECT_EQ(slurp(folder / "hhctest.chm"), "earlier");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
}

TEST_F(ChmTools, ViewerUnpacksIntoTheCacheOnceAndOpensTheDefaultTopic) {
    const fs::path folder = dir / "plans";
    const std::vector<std::string> names = compiled(folder, 3);
    const fs::path chm = folder / "hhctest.chm";
    const ToolRun r = run(KVX_HH, chm.string(), dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string url = opened();
    const std::string prefix = "file://" + (dir / "cache" / "korvenix31").string() + "/";
    ASSERT_EQ(url.rfind(prefix, 0), 0u) << url;
    ASSERT_EQ(url.substr(url.size() - 11), "/index.htm\n");
    const fs::path unpacked = url.substr(7, url.size() - 7 - 11);
    for (const std::string& name : names)
        EXPECT_EQ(slurp(unpacked / name), slurp(folder / name)) << name;

    // Unchanged, the same folder serves again: a file left in it is still there.
    std::ofstream(unpacked / "mark") << "x";
    fs::remove(dir / "opened");
    ASSERT_EQ(run(KVX_HH, chm.string(), dir).exitCode, 0);
    EXPECT_EQ(opened(), url);
    EXPECT_TRUE(fs::exists(unpacked / "mark"));
}

TEST_F(ChmTools, EntryNamesCannotLeaveTheCache) {
    struct Case {
        const char* name;
        bool safe;
    };
    const Case cases[] = {
        {"/index.htm", true}, {"/sub/a b.jpg", true}, {"/../x", false},      {"/a/../../x", false},
        {"//etc/x", false},   {"/./x", false},        {"/a\x01.htm", false}, {"x.htm", false},
        {"/", false},         {"/..\\x", false},      {"/a/", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(!kvx::hh::safeRelativePath(c.name).empty(), c.safe) << c.name;

    // A compiled file whose directory names an entry "/../xx.htm" (same length as the
    // "/abcxx.htm" it replaces; the directory is stored uncompressed).
    const fs::path folder = dir / "plans";
    fs::create_directories(folder);
    std::ofstream(folder / "index.htm") << "<html>index</html>";
    std::ofstream(folder / "abcxx.htm") << "<html>escape</html>";
    ASSERT_EQ(run(KVX_HHC, (folder / "index.htm").string(), dir).exitCode, 0);
    std::string bytes = slurp(folder / "hhctest.chm");
    const std::size_t at = bytes.find("/abcxx.htm");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 10, "/../xx.htm");
    const fs::path crafted = dir / "crafted.chm";
    std::ofstream(crafted, std::ios::binary) << bytes;
    ASSERT_EQ(chmEntries(crafted), (std::vector<std::string>{"../xx.htm", "index.htm"}));

    const ToolRun r = run(KVX_HH, crafted.string(), dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("/../xx.htm"), std::string::npos) << r.err;
    const std::string url = opened();
    const fs::path unpacked = url.substr(7, url.size() - 7 - 11);
    // Every file written lies in the unpacked folder, and the refused entry is not there.
    for (const std::string& f : filesUnder(dir / "cache"))
        EXPECT_EQ(f.rfind(unpacked.string() + "/", 0), 0u) << f;
    EXPECT_TRUE(fs::exists(unpacked / "index.htm"));
    EXPECT_EQ(filesUnder(dir / "cache").size(), 2u); // index.htm and chmcmd's signature
    EXPECT_FALSE(fs::exists(dir / "xx.htm"));
}

TEST_F(ChmTools, ViewerReportsAMissingOrDamagedFile) {
    std::ofstream(dir / "junk.chm") << "not a compiled help file";
    for (const fs::path& chm : {dir / "missing.chm", dir / "junk.chm"}) {
        SCOPED_TRACE(chm);
        const ToolRun r = run(KVX_HH, chm.string(), dir);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(chm.string()), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "opened"));
}

} // namespace
