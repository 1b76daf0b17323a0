// hh.exe and its unpacking: well-formed and damaged compiled-help files are unpacked into a
// private cache and hh.exe runs on them with a recording opener, under a time guard.

#include "support/chm_sample.h"

#include "chm/chm_writer.h"
#include "chm_extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using kvxtest::ChmSampleEntry;
using kvxtest::makeChm;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void spit(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

// Every regular file and link below `root` (relative name to content or link target),
// leaving out the folders named in `skip`.
std::map<std::string, std::string> tree(const fs::path& root,
                                        const std::vector<std::string>& skip = {}) {
    std::map<std::string, std::string> out;
    if (!fs::exists(fs::symlink_status(root)))
        return out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        const std::string rel = fs::relative(it->path(), root).string();
        if (std::find(skip.begin(), skip.end(), rel) != skip.end()) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink())
            out[rel] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            out[rel] = slurp(it->path());
    }
    return out;
}

// A file address's path back as bytes.
std::string unescaped(const std::string& url) {
    std::string out;
    for (std::size_t i = 0; i < url.size(); ++i)
        if (url[i] == '%' && i + 2 < url.size()) {
            out += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += url[i];
        }
    return out;
}

// A compiled file of our writer holding `files` (name, content; ".jpg" stored as it is).
std::string written(const std::vector<std::pair<std::string, std::string>>& files,
                    const std::string& topic = "index.htm") {
    std::vector<kvx::chm::ChmFile> list;
    for (const auto& [name, content] : files) {
        kvx::chm::ChmFile f;
        f.name = name;
        f.content = content;
        f.compressible = name.size() < 4 || name.compare(name.size() - 4, 4, ".jpg") != 0;
        list.push_back(std::move(f));
    }
    kvx::chm::ChmOptions options;
    options.title = "Index";
    options.defaultTopic = topic;
    std::string out;
    const kvx::chm::ChmResult r = kvx::chm::buildChm(std::move(list), options, out);
    EXPECT_TRUE(r) << r.message;
    return out;
}

// The pages of a small index: HTML compressed, a picture across the first frame boundary.
std::vector<std::pair<std::string, std::string>> indexPages() {
    return {{"/index.htm", "<html><frameset></frameset></html>"},
            {"/a.dwg.htm", "<html>a</html>"},
            {"/a.dwg.jpg", noise(40000, 1)}};
}

std::uint64_t le(const std::string& bytes, std::size_t at, int size) {
    std::uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

// Where a field of a compiled file starts, found by its fixed bytes.
std::size_t where(const std::string& bytes, const std::string& marker, std::size_t back) {
    const std::size_t at = bytes.find(marker);
    EXPECT_NE(at, std::string::npos) << marker;
    return at - back;
}
std::size_t controlData(const std::string& bytes) {
    return where(bytes, "LZXC", 4);
}
// The reset table: its entry size (8) and header size (0x28) follow its version and count.
std::size_t resetTable(const std::string& bytes) {
    return where(bytes, std::string("\x08\0\0\0\x28\0\0\0", 8), 8);
}
// The directory chunk `n`, after the ITSP header that the ITSF header points at.
std::size_t chunk(const std::string& bytes, std::uint64_t n) {
    return static_cast<std::size_t>(le(bytes, 0x48, 8) + 0x54 + n * 4096);
}

// A small index with a page `placeholder`, renamed in the directory to `name` of the same length.
std::string renamed(const std::string& placeholder, const std::string& name) {
    EXPECT_EQ(placeholder.size(), name.size());
    auto pages = indexPages();
    pages.push_back({placeholder, "x"});
    std::string bytes = written(pages);
    bytes.replace(where(bytes, placeholder, 0), name.size(), name);
    return bytes;
}

std::size_t firstChunk(const std::string& bytes) {
    return chunk(bytes, 0);
}

// A small index with the `size` bytes at `field(bytes) + offset` set to `value`.
std::string patched(std::size_t (*field)(const std::string&), std::size_t offset,
                    std::uint64_t value, int size) {
    std::string bytes = written(indexPages());
    kvxtest::putLE(bytes, field(bytes) + offset, value, size);
    return bytes;
}

struct HhRun {
    bool ended = false; // within the guard
    bool signalled = false;
    int exitCode = -1;
    std::string err;
};

class HhViewer : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kvx-hh-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "cache");
        root = (dir / "cache" / "korvenix31").string();
        opener = dir / "opener.sh";
        spit(opener, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + (dir / "opened").string() + "'\n");
        fs::permissions(opener, fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(dir); }

    // hh.exe on `argument` in the working folder `cwd`; killed after 20 s (a hang).
    HhRun hh(const std::string& argument, const fs::path& cwd) {
        const fs::path err = dir / "stderr.txt";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
            ::setenv("KORVENIX_OPENER", opener.c_str(), 1);
            ::setenv("KORVENIX_NO_MESSAGE_BOX", "1", 1);
            ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1); // Qt's caches live until exit
            const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || ::dup2(fd, 2) < 0 || ::chdir(cwd.c_str()) != 0)
                ::_exit(127);
            ::execl(KVX_HH, "hh.exe", argument.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        HhRun r;
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                r.err = slurp(err);
                return r;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        r.ended = true;
        r.signalled = WIFSIGNALED(status);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = slurp(err);
        return r;
    }

    // The address the detached opener wrote last, once its line is whole.
    std::string opened() {
        std::string text;
        for (int i = 0; i < 400 && (text.empty() || text.back() != '\n'); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            text = slurp(dir / "opened");
        }
        fs::remove(dir / "opened");
        if (text.empty())
            return {};
        text.pop_back();
        return text.substr(text.rfind('\n') + 1);
    }

    // The unpacked folders of the cache.
    std::vector<std::string> indexFolders() {
        std::vector<std::string> names;
        if (fs::exists(root))
            for (const auto& e : fs::directory_iterator(root))
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir, opener;
    std::string root;
};

TEST_F(HhViewer, HostileFilesEndWithAnErrorAndWriteNothingOutsideTheCache) {
    const fs::path victim = dir / "victim";
    struct Case {
        const char* what;
        std::function<std::string()> bytes;
        bool opens;
        const char* error;                          // part of the one error line
        std::function<void(const fs::path&)> plant; // before the run, given the .chm
    };
    const Case cases[] = {
        {"self-pointing index chunk",
         [] {
             // Enough pages for several listing chunks under an index chunk, whose entries
             // are all made to name the index chunk itself.
             auto pages = indexPages();
             for (int i = 0; i < 300; ++i)
                 pages.push_back({"/report number " + std::to_string(1000 + i) + ".dwg.htm", "r"});
             std::string bytes = written(pages);
             const std::size_t itsp = chunk(bytes, 0) - 0x54;
             const std::uint64_t root = le(bytes, itsp + 0x1c, 4);
             EXPECT_LT(root, 128u);
             const std::size_t pmgi = chunk(bytes, root);
             EXPECT_EQ(bytes.substr(pmgi, 4), "PMGI");
             const std::size_t end = pmgi + 4096 - le(bytes, pmgi + 4, 4);
             for (std::size_t at = pmgi + 8; at < end;) {
                 at += 1 + static_cast<unsigned char>(bytes[at]); // a short name, then its chunk
                 EXPECT_LT(static_cast<unsigned char>(bytes[at]), 0x80);
                 bytes[at++] = static_cast<char>(root);
             }
             return bytes;
         },
         true, "", nullptr},
        {"listing chunk naming itself as the next", [] { return patched(firstChunk, 0x10, 0, 4); },
         true, "", nullptr},
        {"reset interval of zero", [] { return patched(controlData, 12, 0, 4); }, false,
         "can't be read whole", nullptr},
        // The reader starts from the front instead.
        {"overlong reset-table entry", [] { return patched(resetTable, 8, 0x10000, 4); }, true, "",
         nullptr},
        {"reset table pointing past the data",
         [] { return patched(resetTable, 0x28, 0xffffffffffull, 8); }, false, "can't be read whole",
         nullptr},
        {"a \"../\" name", [] { return renamed("/abcescape.htm", "/../escape.htm"); }, false,
         "\"/../escape.htm\" has a name that can't be unpacked safely", nullptr},
        {"a name with terminal control bytes",
         [] { return renamed("/qqqqqqqqqq.htm", "/\x1b]0;owned\x07.htm"); }, false,
         "\"/\\x1B]0;owned\\x07.htm\"", nullptr},
        {"links planted in the cache", [] { return written(indexPages()); }, true, "",
         [&](const fs::path& chm) {
             // The folder this very file unpacks into, and a work folder, made links to a
             // folder outside the cache.
             ASSERT_EQ(hh(chm.string(), dir).exitCode, 0);
             const fs::path unpacked = fs::path(unescaped(opened().substr(7))).parent_path();
             fs::remove_all(unpacked);
             fs::create_symlink(victim, unpacked);
             fs::create_symlink(victim, fs::path(root) / ".unpack-planted");
         }},
        {"a file cut in half",
         [] { return written(indexPages()).substr(0, written(indexPages()).size() / 2); }, false,
         "", nullptr},
        {"an entry beyond the end of the file",
         [] {
             // Pages in section 0 (not from our writer, which compresses every page): the
             // last one ends just before the compressed section's 100 bytes of storage
             // files, and the cut takes 50 bytes of it.
             std::vector<ChmSampleEntry> pages = {
                 {"/#SYSTEM", kvxtest::chmSystemFile("index.htm"), false},
                 {"/index.htm", "<html></html>", false},
                 {"/zz.htm", noise(3000, 2), false}};
             const std::string bytes = makeChm(pages).bytes;
             return bytes.substr(0, bytes.size() - 150);
         },
         false, "beyond the end", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "cache");
        fs::remove(dir / "opened");
        fs::remove_all(victim);
        fs::create_directories(victim);
        spit(victim / "keep.htm", "mine");
        const fs::path chm = dir / "in \xe9 folder" / "index.chm";
        fs::create_directories(chm.parent_path());
        spit(chm, c.bytes());
        if (c.plant)
            c.plant(chm);
        const auto before = tree(dir, {"cache", "opened", "stderr.txt"});

        const HhRun r = hh(chm.string(), chm.parent_path());
        ASSERT_TRUE(r.ended) << "hh.exe hung";
        EXPECT_FALSE(r.signalled) << r.err;
        EXPECT_EQ(r.exitCode, c.opens ? 0 : 1) << r.err;
        EXPECT_EQ(tree(dir, {"cache", "opened", "stderr.txt"}), before);
        EXPECT_EQ(tree(victim), (std::map<std::string, std::string>{{"keep.htm", "mine"}}));
        // One line, no terminal control bytes, naming the file.
        for (char ch : r.err)
            EXPECT_TRUE(static_cast<unsigned char>(ch) >= 0x20 || ch == '\n') << r.err;
        if (c.opens) {
            const std::string url = opened();
            ASSERT_EQ(url.rfind(kvx::hh::fileUrl(root) + "/", 0), 0u) << url;
            EXPECT_EQ(url.substr(url.size() - 10), "/index.htm");
            const fs::path page = unescaped(url.substr(7));
            EXPECT_FALSE(fs::is_symlink(page.parent_path()));
            EXPECT_EQ(slurp(page), "<html><frameset></frameset></html>");
            EXPECT_EQ(slurp(page.parent_path() / "a.dwg.jpg"), noise(40000, 1));
        } else {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_NE(r.err.find("in \\xE9 folder/index.chm"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
            EXPECT_FALSE(fs::exists(dir / "opened"));
            // Nothing half-written is kept.
            EXPECT_TRUE(indexFolders().empty())
                << (indexFolders().empty() ? "" : indexFolders().front());
        }
    }
}

TEST_F(HhViewer, EveryPageComesOutWithTheBytesOfItsName) {
    const std::vector<std::pair<std::string, std::string>> pages = {
        {"/index.htm", "<html>index</html>"},
        {"/#12 plan.dwg.htm", "<html>#12</html>"},
        {"/#12 plan.dwg.jpg", noise(70000, 3)}, // across the 32 and 64 KiB boundaries
        {"/$x.htm", "<html>dollar</html>"},
        {"/Case.htm", "<html>upper</html>"},
        {"/case.htm", "<html>lower</html>"},
        {"/plan\xe9.dwg.htm", "<html>latin</html>"},
        {"/ blank ;semi.htm", "b"},
        {"/.hidden.htm", "h"},
        {"/back\\slash.htm", "s"},
        {"/empty.htm", ""},
        {"/sub/dir/deep.htm", "deep"},
    };
    const fs::path chm = dir / "round.chm";
    spit(chm, written(pages, "Case.htm"));

    const kvx::hh::Extraction e = kvx::hh::extractToCache(chm.string(), root);
    ASSERT_EQ(e.error, kvx::hh::ViewError::None) << e.message;
    EXPECT_EQ(e.topic, "Case.htm");
    std::map<std::string, std::string> expected;
    for (const auto& [name, content] : pages)
        expected[name.substr(1)] = content;
    EXPECT_EQ(tree(e.folder), expected);
    EXPECT_EQ(indexFolders(), (std::vector<std::string>{fs::path(e.folder).filename()}));
}

// The index of a folder whose name is not UTF-8, given as the program gives it: the bare
// name in that folder, or the whole path; the opener gets a percent-encoded address.
TEST_F(HhViewer, OpensAnIndexInAFolderWhoseNameIsNotUtf8) {
    const fs::path folder = dir / "Plans \xe9t\xe9 #1";
    fs::create_directories(folder);
    auto pages = indexPages();
    pages.push_back({"/plan\xe9 #2.dwg.htm", "<html>2</html>"});
    spit(folder / "Plans.chm", written(pages, "plan\xe9 #2.dwg.htm"));

    for (const std::string& argument :
         {std::string("Plans.chm"), (folder / "Plans.chm").string()}) {
        SCOPED_TRACE(argument);
        const HhRun r = hh(argument, folder);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string url = opened();
        for (char c : url)
            EXPECT_TRUE(c > 0x20 && c < 0x7f && c != '#') << url;
        EXPECT_EQ(url.substr(url.size() - 23), "/plan%E9%20%232.dwg.htm");
        EXPECT_EQ(slurp(unescaped(url.substr(7))), "<html>2</html>");
    }
    EXPECT_EQ(indexFolders().size(), 1u);

    // A named pipe is no file to wait on.
    ASSERT_EQ(::mkfifo((folder / "pipe.chm").c_str(), 0600), 0);
    const HhRun pipe = hh("pipe.chm", folder);
    ASSERT_TRUE(pipe.ended);
    EXPECT_EQ(pipe.err, "hh.exe: The file \"pipe.chm\" can't be read.\n");
}

TEST_F(HhViewer, LimitsRefuseTheWholeFileAndNameTheLimit) {
    auto pages = indexPages();
    pages.push_back({"/big.jpg", std::string((1 << 20) + 1, 'x')});
    pages.push_back({"/a-rather-long-name.htm", "x"});
    const fs::path chm = dir / "big.chm";
    spit(chm, written(pages));
    const struct {
        kvx::hh::Limits limits;
        const char* message;
    } cases[] = {
        {{5, 4ull << 30, 1024, 8}, "holds more than 5 entries"},
        {{1000000, 1 << 20, 1024, 8}, "more than 1 MiB of pages"},
        {{1000000, 4ull << 30, 20, 8}, "an entry name longer than 20 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const kvx::hh::Extraction e = kvx::hh::extractToCache(chm.string(), root, c.limits);
        EXPECT_EQ(e.error, kvx::hh::ViewError::TooLarge);
        EXPECT_NE(e.message.find(c.message), std::string::npos) << e.message;
        EXPECT_TRUE(indexFolders().empty());
    }
    EXPECT_EQ(kvx::hh::extractToCache(chm.string(), root).error, kvx::hh::ViewError::None);
}

TEST_F(HhViewer, TheCacheKeepsTheNewestIndexesAndClearsAbandonedWork) {
    fs::create_directories(fs::path(root) / ".unpack-abandoned" / "sub");
    spit(fs::path(root) / ".unpack-abandoned" / "sub" / "x.htm", "x");
    kvx::hh::Limits limits;
    limits.keptIndexes = 3;
    std::vector<std::string> folders;
    for (int i = 0; i < 5; ++i) {
        const fs::path chm = dir / ("f" + std::to_string(i) + ".chm");
        spit(chm, written(indexPages()));
        const kvx::hh::Extraction e = kvx::hh::extractToCache(chm.string(), root, limits);
        ASSERT_EQ(e.error, kvx::hh::ViewError::None) << e.message;
        folders.push_back(fs::path(e.folder).filename());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::vector<std::string> newest(folders.end() - 3, folders.end());
    std::sort(newest.begin(), newest.end());
    EXPECT_EQ(indexFolders(), newest);
}

TEST_F(HhViewer, StartPageFollowsTheFilesOwnRecords) {
    // #WINDOWS: one entry whose home page (0x68 + 4 into the entry) is "home.htm".
    std::string windows(8 + 0x196, '\0');
    kvxtest::putLE(windows, 0, 1, 4);
    kvxtest::putLE(windows, 4, 0x196, 4);
    kvxtest::putLE(windows, 8 + 0x6c, 1, 4);
    const std::string strings = std::string("\0home.htm\0", 10);
    const std::string brokenSystem = std::string("\3\0\0\0\2\0\xff\x7f", 8) + "index.htm";
    const struct {
        std::string system, windows;
        std::vector<std::string> pages;
        std::string topic;
    } cases[] = {
        {kvxtest::chmSystemFile("Case.htm"),
         windows,
         {"case.htm", "Case.htm", "home.htm"},
         "Case.htm"},
        {kvxtest::chmSystemFile("/CASE.HTM"), "", {"case.htm", "Case.htm"}, "Case.htm"},
        {kvxtest::chmSystemFile("gone.htm"), windows, {"index.htm", "Home.htm"}, "Home.htm"},
        {"", "", {"b.htm", "Index.htm", "a.jpg"}, "Index.htm"},
        {brokenSystem, "", {"z.htm", "index.htm"}, "index.htm"},
        {"", windows.substr(0, 40), {"z.jpg", "b.htm", "a.HTML"}, "a.HTML"},
        {"", "", {"z.jpg"}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kvx::hh::chooseTopic(c.system, c.windows, strings, c.pages), c.topic) << c.topic;
        std::vector<std::string> reversed(c.pages.rbegin(), c.pages.rend());
        EXPECT_EQ(kvx::hh::chooseTopic(c.system, c.windows, strings, reversed), c.topic);
    }
}

} // namespace
