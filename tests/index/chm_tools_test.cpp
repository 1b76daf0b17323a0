// hhc.exe end to end: real index folders compiled by chmcmd, read back with chmlib. hh.exe
// has its own tests (hh_viewer_test), on files made in code.

#include "support/index_folder.h"

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

class ChmTools : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kvx-chm-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "cache");
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

    // hhc.exe run with KORVENIX_CHMCMD set to `compiler` (when given).
    ToolRun compile(const std::string& argument, const char* compiler = nullptr) {
        if (compiler)
            ::setenv("KORVENIX_CHMCMD", compiler, 1);
        const ToolRun r = run(KVX_HHC, argument, dir);
        ::unsetenv("KORVENIX_CHMCMD");
        return r;
    }

    fs::path dir;
};

TEST_F(ChmTools, CompiledFileHoldsExactlyTheFolderPagesAndPictures) {
    for (int reports : {0, 3, 1000}) {
        SCOPED_TRACE(reports);
        const fs::path folder = dir / ("R&D #" + std::to_string(reports) + " \xC3\xA9t\xC3\xA9");
        const std::vector<std::string> names = compiled(folder, reports);
        EXPECT_EQ(chmEntries(folder / "hhctest.chm"), names);
        // Nothing else is left in the folder: no project file, no work folder.
        std::vector<std::string> onDisk, expected = names;
        for (const auto& e : fs::directory_iterator(folder))
            onDisk.push_back(e.path().filename().string());
        expected.push_back("hhctest.chm");
        std::sort(onDisk.begin(), onDisk.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(onDisk, expected);
    }
}

TEST_F(ChmTools, NoIndexPageOrAFailedCompileLeavesNoNewFile) {
    const fs::path folder = dir / "plans";
    fs::create_directories(folder);
    std::ofstream(folder / "notes.txt") << "x";
    std::ofstream(folder / "a.dwg.htm") << "<html></html>";
    const std::string page = (folder / "a.dwg.htm").string();
    const struct {
        std::string argument;
        const char* compiler;
    } cases[] = {{(folder / "index.htm").string(), nullptr},
                 {(folder / "notes.txt").string(), nullptr},
                 {"", nullptr},
                 {page, "/bin/false"},
                 {page, "/no/such/chmcmd"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument + " " + (c.compiler ? c.compiler : ""));
        const ToolRun r = compile(c.argument, c.compiler);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_FALSE(fs::exists(folder / "hhctest.chm"));
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    // An earlier compiled file stays as it was when a new compile fails.
    std::ofstream(folder / "hhctest.chm") << "earlier";
    EXPECT_NE(compile(page, "/bin/false").exitCode, 0);
    EXPECT_EQ(slurp(folder / "hhctest.chm"), "earlier");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
}

} // namespace
