// hhc.exe and hh.exe end to end: real index folders compiled by our hhc.exe, read back with
// chmlib, unpacked into a private cache and handed to a recording opener.

#include "help_tool_fixture.h"
#include "support/index_folder.h"

#include <chm_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using kvxtest::slurp;

namespace {

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

// hhc.exe (and hh.exe, with more time than a damaged file gets) on large folders.
class ChmTools : public kvxtest::HelpToolTest {
protected:
    // An index folder of `reports` reports, compiled; returns its file names.
    std::vector<std::string> compiled(const fs::path& folder, int reports) {
        fs::create_directories(folder);
        std::vector<std::string> names = kvxtest::writeIndexFolder(folder.string(), reports);
        const kvxtest::ToolRun r = compile((folder / "index.htm").string());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return names;
    }
    kvxtest::ToolRun compile(const std::string& argument) {
        return run(KVX_HHC, argument, dir, 300);
    }
    kvxtest::ToolRun hh(const std::string& argument) { return run(KVX_HH, argument, dir, 300); }
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
        const kvxtest::ToolRun r = compile(c.argument);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(slurp(folder / "hhctest.chm"), "earlier");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);
    }
    // Once the linked files are there, the quoted argument compiles, silently.
    std::ofstream(folder / "gone#.htm") << "<html></html>";
    std::ofstream(folder / "a plan.dwg.jpg") << "picture";
    const kvxtest::ToolRun r = compile("\"" + (folder / "index.htm").string() + "\"");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(chmEntries(folder / "hhctest.chm"),
              (std::vector<std::string>{"a plan.dwg.jpg", "a.dwg.htm", "gone#.htm", "index.htm"}));
}

// 1,000 reports: several listing chunks and an index chunk, unpacked by hh.exe.
TEST_F(ChmTools, ViewerUnpacksEveryEntryIntoTheCacheOnceAndOpensTheDefaultTopic) {
    const fs::path folder = dir / "plans";
    compiled(folder, 1000);
    const fs::path chm = folder / "hhctest.chm";
    std::map<std::string, std::string> pages = kvxtest::tree(folder);
    pages.erase("hhctest.chm");

    const kvxtest::ToolRun r = hh(chm.string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string url = opened();
    ASSERT_EQ(url.rfind("file://" + root + "/", 0), 0u) << url;
    ASSERT_EQ(url.substr(url.size() - 10), "/index.htm");
    const fs::path unpacked = fs::path(kvxtest::pathOfUrl(url)).parent_path();
    EXPECT_EQ(kvxtest::tree(unpacked), pages);

    // Unchanged, the same folder serves again: a file left in it is still there.
    std::ofstream(unpacked / "mark") << "x";
    ASSERT_EQ(hh(chm.string()).exitCode, 0);
    EXPECT_EQ(opened(), url);
    EXPECT_TRUE(fs::exists(unpacked / "mark"));
}

} // namespace
