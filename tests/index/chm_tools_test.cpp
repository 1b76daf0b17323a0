// hhc.exe and hh.exe end to end: real index folders compiled by our hhc.exe, read back with
// chmlib, unpacked into a private cache and handed to a recording opener.

#include "files/atomic_file.h"
#include "help_tool_fixture.h"
#include "support/chm_readers.h"
#include "support/index_folder.h"

#include <chm_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using kvxtest::slurp;

namespace {

int collect(chmFile*, chmUnitInfo* ui, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(ui->path + 1);
    return CHM_ENUMERATOR_CONTINUE;
}

// The compiler's own contents and keyword files, beside the start page.
bool isSitemap(const std::string& name) {
    return name.size() > 4 && (name.compare(name.size() - 4, 4, ".hhc") == 0 ||
                               name.compare(name.size() - 4, 4, ".hhk") == 0);
}

template <typename Files> Files withoutSitemaps(Files files) {
    for (auto i = files.begin(); i != files.end();)
        i = isSitemap(i->first) ? files.erase(i) : std::next(i);
    return files;
}

// The user entries of a compiled file (pages and pictures, not the compiler's own sitemap
// files), without their leading "/".
std::vector<std::string> chmEntries(const fs::path& chm) {
    std::vector<std::string> names;
    chmFile* h = chm_open(chm.c_str());
    if (!h)
        return {"<cannot open>"};
    chm_enumerate(h, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collect, &names);
    chm_close(h);
    names.erase(std::remove_if(names.begin(), names.end(), isSitemap), names.end());
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

TEST_F(ChmTools, NoIndexPageLeavesTheEarlierFile) {
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
                 {"", "no index page"}};
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

// Links that lead nowhere or out of the folder, files that cannot be read, links planted at the
// output and a killed compile's temporary. Each row starts from a folder holding index.htm,
// a.jpg and an earlier hhctest.chm, with a folder beside it for what lies outside.
TEST_F(ChmTools, LinksOutsideOrToNothingAreLeftOutUnreadableFilesFailAndLeftoversGo) {
    using Folders = std::function<void(const fs::path& folder, const fs::path& outside)>;
    const bool root = ::geteuid() == 0;
    const std::string deep = std::string(200, 'd') + "/" + std::string(200, 'e') + "/" +
                             std::string(200, 'f') + "/p.htm"; // over 512 bytes
    const struct {
        const char* what;
        std::string index; // what index.htm holds besides its link to a.jpg
        Folders setUp;
        bool rootReads; // root reads the file all the same: the row is not run as root
        bool compiles;
        std::vector<std::string> named;            // on stderr
        long lines;                                // of stderr
        std::map<std::string, std::string> packed; // besides index.htm; empty when it fails
        Folders check;
    } rows[] = {
        {"planted output link",
         "",
         [](const fs::path& folder, const fs::path& outside) {
             std::ofstream(outside / "mine.chm") << "not to be written";
             fs::remove(folder / "hhctest.chm");
             fs::create_symlink(outside / "mine.chm", folder / "hhctest.chm");
         },
         false,
         true,
         {},
         0,
         {{"/a.jpg", "picture"}},
         [](const fs::path& folder, const fs::path& outside) {
             EXPECT_EQ(slurp(outside / "mine.chm"), "not to be written");
             EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "hhctest.chm")));
         }},
        {"input links leading outside",
         "<img src=\"secret.jpg\"><a href=\"../outside/secret.txt\">"
         "<a href=\"sub/secret.htm\">",
         [](const fs::path& folder, const fs::path& outside) {
             std::ofstream(outside / "secret.txt") << "secret";
             fs::create_symlink(outside / "secret.txt", folder / "secret.jpg");
             fs::create_directory_symlink(outside, folder / "sub");
             fs::copy_file(outside / "secret.txt", outside / "secret.htm");
         },
         false,
         true,
         {"secret.jpg", "../outside/secret.txt", "sub/secret.htm"},
         3,
         {{"/a.jpg", "picture"}},
         nullptr},
        {"missing picture",
         "<a href=\"notes.htm\">",
         [](const fs::path& folder, const fs::path&) {
             std::ofstream(folder / "notes.htm") << "<img src=\"notes.jpg\">";
         },
         false,
         true,
         {"notes.htm", "notes.jpg"},
         1,
         {{"/a.jpg", "picture"}, {"/notes.htm", "<img src=\"notes.jpg\">"}},
         nullptr},
        {"unreadable page (mode 000)",
         "<a href=\"p.htm\">",
         [](const fs::path& folder, const fs::path&) {
             std::ofstream(folder / "p.htm") << "page";
             fs::permissions(folder / "p.htm", fs::perms::none);
         },
         true,
         false,
         {"p.htm"},
         1,
         {},
         nullptr},
        {"unreadable page (a pipe)",
         "<a href=\"p.htm\">",
         [](const fs::path& folder, const fs::path&) {
             ASSERT_EQ(::mkfifo((folder / "p.htm").c_str(), 0600), 0);
         },
         false,
         false,
         {"p.htm"},
         1,
         {},
         nullptr},
        {"name too long for a compiled file",
         "<a href=\"" + deep + "\">",
         [&deep](const fs::path& folder, const fs::path&) {
             fs::create_directories((folder / deep).parent_path());
             std::ofstream(folder / deep) << "page";
         },
         false,
         false,
         {"/" + deep},
         1,
         {},
         nullptr},
        {"killed compile's leftover",
         "",
         [](const fs::path& folder, const fs::path&) {
             const std::string prefix = kvx::temporaryPrefixFor((folder / "hhctest.chm").string());
             std::ofstream(folder / (prefix + "Kil1ed")) << std::string(100000, 'x');
         },
         false,
         true,
         {},
         0,
         {{"/a.jpg", "picture"}},
         nullptr},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        SCOPED_TRACE(row.what);
        if (row.rootReads && root)
            continue;
        const fs::path folder = dir / std::to_string(i) / "plans";
        const fs::path outside = dir / std::to_string(i) / "outside";
        fs::create_directories(folder);
        fs::create_directories(outside);
        const std::string index = "<img src=\"a.jpg\">" + row.index;
        std::ofstream(folder / "index.htm") << index;
        std::ofstream(folder / "a.jpg") << "picture";
        std::ofstream(folder / "hhctest.chm") << "earlier";
        row.setUp(folder, outside);
        // A second compile running on the folder holds its temporary locked: it stays.
        const std::string prefix = kvx::temporaryPrefixFor((folder / "hhctest.chm").string());
        const std::string running = prefix + "Runnin";
        const int held = ::open((folder / running).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

        const kvxtest::ToolRun r = compile((folder / "index.htm").string());
        ::close(held);
        EXPECT_EQ(r.exitCode == 0, row.compiles) << r.err;
        for (const std::string& name : row.named)
            EXPECT_NE(r.err.find("\"" + name + "\""), std::string::npos) << name << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), row.lines) << r.err;
        if (row.compiles) {
            std::map<std::string, std::string> packed = row.packed;
            packed["/index.htm"] = index;
            const kvxtest::ChmReadResult read =
                kvxtest::readWithChmlib((folder / "hhctest.chm").string(), {});
            EXPECT_TRUE(read.ok) << read.problem;
            EXPECT_EQ(withoutSitemaps(read.files), packed);
        } else {
            EXPECT_EQ(slurp(folder / "hhctest.chm"), "earlier");
        }
        // Nothing is left beside the output but the running compile's temporary.
        std::vector<std::string> temporaries;
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().filename().string().rfind(prefix, 0) == 0)
                temporaries.push_back(e.path().filename().string());
        EXPECT_EQ(temporaries, std::vector<std::string>{running});
        if (row.check)
            row.check(folder, outside);
    }
}

// However many threads compress, the file is the same to the byte, and reads back whole; a
// count far beyond what the system can start is capped.
TEST_F(ChmTools, AnyThreadCountWritesTheSameFile) {
    const fs::path folder = dir / "plans";
    fs::create_directories(folder);
    kvxtest::writeIndexFolder(folder.string(), 300);
    std::map<std::string, std::string> expected;
    for (const auto& [name, bytes] : kvxtest::tree(folder))
        expected["/" + name] = bytes;
    ::setenv("SOURCE_DATE_EPOCH", "1780000000", 1);
    std::string first;
    for (const char* threads : {"1", "2", "8", "100000"}) {
        SCOPED_TRACE(threads);
        ::setenv("KORVENIX_HHC_THREADS", threads, 1);
        const kvxtest::ToolRun r = compile((folder / "index.htm").string());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string chm = slurp(folder / "hhctest.chm");
        if (!first.empty()) {
            EXPECT_TRUE(chm == first);
            continue;
        }
        first = chm;
        EXPECT_GT(chm.size(), 20u * 65536); // many reset intervals
        const kvxtest::ChmReadResult mspack = kvxtest::readWithMspack(chm);
        EXPECT_TRUE(mspack.ok) << mspack.problem;
        EXPECT_TRUE(withoutSitemaps(mspack.files) == expected);
        const kvxtest::ChmReadResult chmlib =
            kvxtest::readWithChmlib((folder / "hhctest.chm").string(), {});
        EXPECT_TRUE(chmlib.ok) << chmlib.problem;
        EXPECT_TRUE(withoutSitemaps(chmlib.files) == expected);
    }
    ::unsetenv("KORVENIX_HHC_THREADS");
    ::unsetenv("SOURCE_DATE_EPOCH");
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
    EXPECT_EQ(withoutSitemaps(kvxtest::tree(unpacked)), pages);

    // Unchanged, the same folder serves again: a file left in it is still there.
    std::ofstream(unpacked / "mark") << "x";
    ASSERT_EQ(hh(chm.string()).exitCode, 0);
    EXPECT_EQ(opened(), url);
    EXPECT_TRUE(fs::exists(unpacked / "mark"));
}

} // namespace

// What the tools print can turn no text around: a right-to-left override in a name is shown as
// its bytes, as a control byte is; and a failed compile still tells the links it left out.
TEST_F(ChmTools, NamesArePrintedEscapedAndAFailedCompileKeepsItsWarnings) {
    const fs::path folder = dir / "plans";
    fs::create_directories(folder / "sub");
    const std::string spoof = "x\u202Egpj.exe"; // shows as "xexe.jpg" when printed as it is
    const std::string shown = "x\\xE2\\x80\\xAEgpj.exe";
    std::ofstream(folder / "index.htm") << "<a href=\"" + spoof + "\">a</a> <a href=\"sub\">b</a>";
    const kvxtest::ToolRun r = compile((folder / "index.htm").string());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err.find("\u202E"), std::string::npos) << r.err;
    const std::size_t warning = r.err.find("hhc.exe: warning: \"index.htm\" links to \"" + shown);
    const std::size_t failure = r.err.find("\"sub\", which cannot be read");
    EXPECT_NE(warning, std::string::npos) << r.err;
    EXPECT_NE(failure, std::string::npos) << r.err;
    EXPECT_LT(warning, failure) << r.err;

    const kvxtest::ToolRun viewer = hh((folder / (spoof + ".chm")).string());
    EXPECT_EQ(viewer.exitCode, 1) << viewer.err;
    EXPECT_EQ(viewer.err.find("\u202E"), std::string::npos) << viewer.err;
    EXPECT_NE(viewer.err.find(shown + ".chm"), std::string::npos) << viewer.err;
}
