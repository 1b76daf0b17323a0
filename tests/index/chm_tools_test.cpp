// hhc.exe and hh.exe end to end: real index folders compiled by our hhc.exe, read back with
// chmlib, unpacked into a private cache and handed to a recording opener.

#include "support/index_folder.h"
#include "support/shell_quote.h"

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

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

struct ToolRun {
    int exitCode;
    std::string err;
};

ToolRun run(const char* tool, const std::string& argument, const fs::path& scratch) {
    const fs::path err = scratch / "stderr.txt";
    const int status =
        std::system((kvxtest::shellQuoted(tool) + " " + kvxtest::shellQuoted(argument) + " 2>" +
                     kvxtest::shellQuoted(err.string()))
                        .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(err)};
}

int collect(chmFile*, chmUnitInfo* ui, void* context) {
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
        const fs::path opener = dir / "opener.sh";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> "
                              << kvxtest::shellQuoted((dir / "opened").string()) << "\n";
        fs::permissions(opener, fs::perms::owner_all);
        ::setenv("KORVENIX_OPENER", opener.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    // An index folder of `reports` reports, compiled; returns its file names.
    std::vector<std::string> compiled(const fs::path& folder, int reports) {
        fs::create_directories(folder);
        std::vector<std::string> names = kvxtest::writeIndexFolder(folder.string(), reports);
        const ToolRun r = compile((folder / "index.htm").string());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return names;
    }

    // The detached opener's whole line (the shell creates the file before writing it).
    std::string opened() {
        std::string line;
        for (int i = 0; i < 1200 && (line.empty() || line.back() != '\n'); ++i) {
            ::usleep(50000);
            line = slurp(dir / "opened");
        }
        return line;
    }
    // The folder of an opened "file://.../index.htm" address.
    static fs::path unpackedFolder(const std::string& url) {
        return url.substr(7, url.size() - 7 - 11);
    }
    ToolRun compile(const std::string& argument) { return run(KVX_HHC, argument, dir); }

    fs::path dir;
};

// Only what index.htm leads to is compiled: a user's own photo and page beside the reports
// stay out, and nothing is left behind but the compiled file.
TEST_F(ChmTools, CompiledFileHoldsExactlyTheLinkedPagesAndPictures) {
    for (int reports : {0, 3, 1000}) {
        SCOPED_TRACE(reports);
        const fs::path folder = dir / ("R&D #" + std::to_string(reports) + " \xC3\xA9t\xC3\xA9");
        fs::create_directories(folder);
        std::ofstream(folder / "photo.jpg") << "my own photo";
        std::ofstream(folder / "notes.htm") << "<a href=\"photo.jpg\">mine</a>";
        const std::vector<std::string> names = compiled(folder, reports);
        EXPECT_EQ(chmEntries(folder / "hhctest.chm"), names);
        std::vector<std::string> onDisk, expected = names;
        for (const auto& e : fs::directory_iterator(folder))
            onDisk.push_back(e.path().filename().string());
        expected.insert(expected.end(), {"hhctest.chm", "notes.htm", "photo.jpg"});
        std::sort(onDisk.begin(), onDisk.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(onDisk, expected);
    }
}

TEST_F(ChmTools, NoIndexPageOrAMissingLinkLeavesTheEarlierFile) {
    const fs::path folder = dir / "plans";
    fs::create_directories(folder);
    std::ofstream(folder / "notes.txt") << "x";
    std::ofstream(folder / "a.dwg.htm") << "<html><img src=\"a%20plan.dwg.jpg\"></html>";
    std::ofstream(folder / "index.htm")
        << "<frameset><frame src=\"a.dwg.htm\"><frame src=\"gone%23.htm\"></frameset>";
    const struct {
        std::string argument;
        std::string named; // what the message must name
    } cases[] = {{(folder / "missing.htm").string(), "missing.htm"},
                 {(folder / "notes.txt").string(), "notes.txt"},
                 {"", "no index page"},
                 {"\"" + (folder / "index.htm").string() + "\"", "gone#.htm"},
                 {(folder / "a.dwg.htm").string(), "a plan.dwg.jpg"}};
    std::ofstream(folder / "hhctest.chm") << "earlier";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        const ToolRun r = compile(c.argument);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(slurp(folder / "hhctest.chm"), "earlier");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);
    }
    // Once the linked files are there, the quoted argument compiles, silently.
    std::ofstream(folder / "gone#.htm") << "<html></html>";
    std::ofstream(folder / "a plan.dwg.jpg") << "picture";
    const ToolRun r = compile("\"" + (folder / "index.htm").string() + "\"");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(chmEntries(folder / "hhctest.chm"),
              (std::vector<std::string>{"a plan.dwg.jpg", "a.dwg.htm", "gone#.htm", "index.htm"}));
}

// 1,000 reports: several listing chunks and an index chunk, unpacked by hh.exe.
TEST_F(ChmTools, ViewerUnpacksEveryEntryIntoTheCacheOnceAndOpensTheDefaultTopic) {
    const fs::path folder = dir / "plans";
    const std::vector<std::string> names = compiled(folder, 1000);
    const fs::path chm = folder / "hhctest.chm";

    const ToolRun r = run(KVX_HH, chm.string(), dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string url = opened();
    ASSERT_EQ(url.rfind("file://" + (dir / "cache" / "korvenix31").string() + "/", 0), 0u) << url;
    ASSERT_EQ(url.substr(url.size() - 11), "/index.htm\n");
    const fs::path unpacked = unpackedFolder(url);
    for (const std::string& name : names)
        ASSERT_EQ(slurp(unpacked / name), slurp(folder / name)) << name;

    // Unchanged, the same folder serves again: a file left in it is still there.
    std::ofstream(unpacked / "mark") << "x";
    fs::remove(dir / "opened");
    ASSERT_EQ(run(KVX_HH, chm.string(), dir).exitCode, 0);
    EXPECT_EQ(opened(), url);
    EXPECT_TRUE(fs::exists(unpacked / "mark"));
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
