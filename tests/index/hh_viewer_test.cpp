// hh.exe and its unpacking: well-formed and damaged compiled-help files of our writer are
// unpacked into a private cache and hh.exe runs on them with a recording opener.

#include "help_tool_fixture.h"
#include "support/chm_sample.h"

#include "chm/chm_writer.h"
#include "chm_extract.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;
using kvxtest::slurp;
using kvxtest::tree;
using Pages = std::map<std::string, std::string>; // names without the leading "/"

namespace {

void spit(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// A compiled file of our writer holding `pages` (pictures stored as they are).
std::string written(const Pages& pages, const std::string& topic = "index.htm") {
    std::vector<kvx::chm::ChmFile> list;
    for (const auto& [name, content] : pages)
        list.push_back({"/" + name, name.find(".jpg") == std::string::npos, content, {}});
    kvx::chm::ChmOptions options;
    options.title = "Index";
    options.defaultTopic = topic;
    std::string out;
    const kvx::chm::ChmResult r = kvx::chm::buildChm(std::move(list), options, out);
    EXPECT_TRUE(r) << r.message;
    return out;
}

// The pages of a small index: HTML compressed, a picture across the first frame boundary.
Pages indexPages() {
    return {{"index.htm", "<html><frameset></frameset></html>"},
            {"a.dwg.htm", "<html>a</html>"},
            {"a.dwg.jpg", kvxtest::randomBytes(40000, 1)}};
}

std::uint64_t le(const std::string& bytes, std::size_t at, int size) {
    std::uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

// Where the fixed bytes `marker` stand, `back` bytes after the start of their field.
std::size_t where(const std::string& bytes, const std::string& marker, std::size_t back) {
    const std::size_t at = bytes.find(marker);
    EXPECT_NE(at, std::string::npos) << marker;
    return at - back;
}

// The directory chunk `n`, after the ITSP header that the ITSF header points at.
std::size_t chunk(const std::string& bytes, std::uint64_t n) {
    return static_cast<std::size_t>(le(bytes, 0x48, 8) + 0x54 + n * 4096);
}

// A small index with a page `placeholder`, renamed in the directory to `name` of the same length.
std::string renamed(const std::string& placeholder, const std::string& name) {
    Pages pages = indexPages();
    pages[placeholder] = "x";
    std::string bytes = written(pages);
    bytes.replace(where(bytes, placeholder, 0), name.size(), name);
    return bytes;
}

// Enough pages for several listing chunks under an index chunk.
std::string manyPages() {
    Pages pages = indexPages();
    for (int i = 0; i < 300; ++i)
        pages["report number " + std::to_string(1000 + i) + ".dwg.htm"] = "r";
    return written(pages);
}

// The reset table left out of the listing (its name changed): a reader that wants it has to
// look it up by following the directory's links, and decode from the front without it.
std::string withoutResetTable(std::string bytes) {
    const std::string name = "InstanceData/ResetTable";
    for (std::size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at))
        bytes[at + name.size() - 1] = 'f';
    return bytes;
}

std::size_t itsp(const std::string& bytes) {
    return static_cast<std::size_t>(le(bytes, 0x48, 8));
}

// Every entry of the index chunk made to name the index chunk itself.
std::string selfPointing() {
    std::string bytes = manyPages();
    const std::uint64_t root = le(bytes, itsp(bytes) + 0x1c, 4);
    EXPECT_LT(root, 128u);
    const std::size_t pmgi = chunk(bytes, root);
    EXPECT_EQ(bytes.substr(pmgi, 4), "PMGI");
    for (std::size_t at = pmgi + 8; at < pmgi + 4096 - le(bytes, pmgi + 4, 4);) {
        at += 1 + static_cast<unsigned char>(bytes[at]); // a short name, then its chunk
        EXPECT_LT(static_cast<unsigned char>(bytes[at]), 0x80);
        bytes[at++] = static_cast<char>(root);
    }
    return withoutResetTable(bytes);
}

// No index chunk, and the first two listing chunks naming each other as the next.
std::string chasing() {
    std::string bytes = manyPages();
    kvxtest::putLE(bytes, itsp(bytes) + 0x1c, 0xffffffff, 4);
    EXPECT_EQ(bytes.substr(chunk(bytes, 1), 4), "PMGL");
    kvxtest::putLE(bytes, chunk(bytes, 0) + 0x10, 1, 4);
    kvxtest::putLE(bytes, chunk(bytes, 1) + 0x10, 0, 4);
    return withoutResetTable(bytes);
}

// 8 MiB of zeros and 2,000 one-byte pages, all made to start just before the zeros end, with
// the reset table cut to its first entry: every one of them is decoded from the front.
std::string workBomb() {
    const std::uint64_t zeros = 8 << 20;
    Pages pages = {{"a.htm", std::string(zeros, '\0')}};
    for (int i = 0; i < 2000; ++i)
        pages["b" + std::to_string(10000 + i) + ".htm"] = "x";
    std::string bytes = written(pages, "a.htm");
    kvxtest::putLE(bytes, where(bytes, std::string("\x08\0\0\0\x28\0\0\0", 8), 8) + 4, 1, 4);
    // A listing entry: the name, section 1, the offset in four bytes, the length in one.
    for (int i = 0; i < 2000; ++i) {
        const std::size_t at = bytes.find("/b" + std::to_string(10000 + i) + ".htm\x01") + 12;
        EXPECT_EQ(bytes[at + 4], 1);
        for (std::size_t k = 0; k < 4; ++k)
            bytes[at + k] =
                static_cast<char>((k < 3 ? 0x80 : 0) | (((zeros - 1) >> (21 - 7 * k)) & 0x7f));
    }
    return bytes;
}

// The unpacked folders of hh.exe's cache, work folders included.
std::set<std::string> cached(const fs::path& root) {
    std::set<std::string> names;
    std::error_code none;
    for (const auto& e : fs::directory_iterator(root, none))
        names.insert(e.path().filename().string());
    return names;
}

using HhViewer = kvxtest::HelpToolTest;

TEST_F(HhViewer, HostileFilesEndWithAnErrorAndWriteNothingOutsideTheCache) {
    const fs::path victim = dir / "victim";
    const std::string whole = written(indexPages());
    // ControlData is found by "LZXC"; the reset table by its entry size (8) and header size.
    const std::size_t control = where(whole, "LZXC", 4);
    const std::size_t reset = where(whole, std::string("\x08\0\0\0\x28\0\0\0", 8), 8);
    auto patched = [&](std::size_t at, std::uint64_t value, int size) {
        std::string bytes = whole;
        kvxtest::putLE(bytes, at, value, size);
        return bytes;
    };
    // The Free Pascal compiler stores the header's first GUID in place of the second.
    std::string freePascal = whole;
    freePascal.replace(0x28, 16, whole.substr(0x18, 16));
    // The folder this very file unpacks into, and a work folder, made links to a folder
    // outside the cache.
    auto plantLinks = [&](const fs::path& chm) {
        const kvx::hh::Extraction e = kvx::hh::extractToCache(chm.string(), root);
        ASSERT_EQ(e.error, kvx::hh::ViewError::None) << e.message;
        fs::remove_all(e.folder);
        fs::create_symlink(victim, e.folder);
        fs::create_symlink(victim, fs::path(root) / ".unpack-planted");
    };
    auto plantPipe = [](const fs::path& chm) {
        fs::remove(chm);
        ASSERT_EQ(::mkfifo(chm.c_str(), 0600), 0);
    };
    const struct {
        const char* what;
        std::string bytes;
        const char* error = nullptr;   // part of the one error line; none: opens
        const char* warning = nullptr; // part of the one warning line; none: stderr empty
        std::string page = {};         // a page besides the index's own, and whether it is there
        bool unpacked = false;
        std::function<void(const fs::path&)> plant = nullptr; // before the run, given the .chm
    } cases[] = {
        {"self-pointing index chunk", selfPointing()},
        {"listing chunks naming each other as the next", chasing()},
        {"reset interval of zero", patched(control + 12, 0, 4), "can't be read whole"},
        // The reader starts from the front instead.
        {"overlong reset-table entry", patched(reset + 8, 0x10000, 4)},
        {"a \"../\" name", renamed("abcescape.htm", "../escape.htm"), nullptr,
         "\"/../escape.htm\" of the file"},
        {"a NUL in a name", renamed("nulxzz.htm", std::string("nul\0zz.htm", 10)), nullptr,
         "\"/nul\" of the file", "nul"},
        {"a tab in a name", renamed("tabxhere.htm", "tab\there.htm"), nullptr, nullptr,
         "tab\there.htm", true},
        {"a name with terminal control bytes", renamed("qqqqqqqqqq.htm", "\x1b]0;owned\x07.htm"),
         nullptr, nullptr, "\x1b]0;owned\x07.htm", true},
        {"written by Free Pascal", freePascal},
        {"an unknown second GUID", patched(0x28, 0x12, 1), "is not a compiled help file"},
        {"2,000 entries each decoded from the front", workBomb(),
         "takes more than 64 MiB of decoding"},
        {"links planted in the cache", whole, nullptr, nullptr, {}, false, plantLinks},
        {"a file cut in half", whole.substr(0, whole.size() / 2), "is damaged"},
        {"no compiled help file", "plain text", "is not a compiled help file"},
        {"a missing file",
         whole,
         "can't be found",
         nullptr,
         {},
         false,
         [](const fs::path& chm) { fs::remove(chm); }},
        {"a named pipe, no file to wait on",
         whole,
         "can't be read.",
         nullptr,
         {},
         false,
         plantPipe},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "cache");
        fs::remove(dir / "opened");
        fs::remove_all(victim);
        fs::create_directories(victim);
        spit(victim / "keep.htm", "mine");
        const fs::path chm = dir / "in \xe9 folder" / "index.chm";
        fs::create_directories(chm.parent_path());
        spit(chm, c.bytes);
        if (c.plant)
            c.plant(chm);
        const auto before = tree(dir, {"cache", "opened", "stderr.txt"});

        const kvxtest::ToolRun r = run(KVX_HH, chm.string(), chm.parent_path());
        ASSERT_TRUE(r.ended) << "hh.exe hung";
        EXPECT_FALSE(r.signalled) << r.err;
        EXPECT_EQ(r.exitCode, c.error ? 1 : 0) << r.err;
        EXPECT_EQ(tree(dir, {"cache", "opened", "stderr.txt"}), before);
        EXPECT_EQ(tree(victim), (std::map<std::string, std::string>{{"keep.htm", "mine"}}));
        // One line, no terminal control bytes, naming the file.
        for (char ch : r.err)
            EXPECT_TRUE(static_cast<unsigned char>(ch) >= 0x20 || ch == '\n') << r.err;
        const char* said = c.error ? c.error : c.warning;
        if (said) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_NE(r.err.find("in \\xE9 folder/index.chm"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
        if (!c.error) {
            const std::string url = opened();
            ASSERT_EQ(url.rfind(kvx::hh::fileUrl(root) + "/", 0), 0u) << url;
            EXPECT_EQ(url.substr(url.size() - 10), "/index.htm");
            const fs::path page = kvxtest::pathOfUrl(url);
            EXPECT_FALSE(fs::is_symlink(page.parent_path()));
            EXPECT_EQ(slurp(page), "<html><frameset></frameset></html>");
            EXPECT_EQ(slurp(page.parent_path() / "a.dwg.jpg"), kvxtest::randomBytes(40000, 1));
            if (!c.page.empty()) {
                EXPECT_EQ(fs::exists(page.parent_path() / c.page), c.unpacked);
            }
            // Nothing beside the unpacked folder.
            EXPECT_EQ(cached(root).size(), 1u);
        } else {
            EXPECT_FALSE(fs::exists(dir / "opened"));
            // Nothing half-written is kept.
            EXPECT_EQ(cached(root), std::set<std::string>{});
        }
    }
}

// A full disk under the cache: the system's reason, not a damaged file. A small file system
// of its own is mounted over the cache folder in a mount namespace.
TEST_F(HhViewer, AFullCacheDiskIsReportedAsSuch) {
    if (std::system("unshare -rm true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no mount namespace can be made here (unshare -rm fails)";
    const fs::path chm = dir / "index.chm";
    spit(chm, written(indexPages()));
    const fs::path tool = dir / "full-disk.sh";
    std::ofstream(tool) << "#!/bin/sh\nexec unshare -rm sh -c 'mount -t tmpfs -o size=16k tmpfs "
                           "\"$XDG_CACHE_HOME\" && exec \"$0\" \"$1\"' "
                        << kvxtest::shellQuoted(KVX_HH) << " \"$1\"\n";
    fs::permissions(tool, fs::perms::owner_all);

    const kvxtest::ToolRun r = run(tool.c_str(), chm.string(), dir);
    ASSERT_TRUE(r.ended) << "hh.exe hung";
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("damaged"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "opened"));
}

// Awkward names, in a folder whose name is not UTF-8, given as the program gives it (the bare
// name, in that folder) or whole: every page comes out with its bytes, and the opener gets a
// percent-encoded address of the start page.
TEST_F(HhViewer, EveryPageComesOutWithTheBytesOfItsNameWhereverTheFileIs) {
    const Pages pages = {
        {"index.htm", "<html>index</html>"},
        {"#12 plan.dwg.jpg", kvxtest::randomBytes(70000, 3)}, // across the 32 and 64 KiB boundaries
        {"plan\xe9 #2.dwg.htm", "<html>2</html>"},
        {"$x.htm", "<html>dollar</html>"},
        {"Case.htm", "<html>upper</html>"},
        {"case.htm", "<html>lower</html>"},
        {" blank ;semi.htm", "b"},
        {".hidden.htm", "h"},
        {"back\\slash.htm", "s"},
        {"empty.htm", ""},
        {"sub/dir/deep.htm", "deep"},
    };
    const fs::path folder = dir / "Plans \xe9t\xe9 #1";
    fs::create_directories(folder);
    spit(folder / "Plans.chm", written(pages, "plan\xe9 #2.dwg.htm"));

    for (const std::string& argument :
         {std::string("Plans.chm"), (folder / "Plans.chm").string()}) {
        SCOPED_TRACE(argument);
        const kvxtest::ToolRun r = run(KVX_HH, argument, folder);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string url = opened();
        for (char c : url)
            EXPECT_TRUE(c > 0x20 && c < 0x7f && c != '#') << url;
        EXPECT_EQ(url.substr(url.size() - 23), "/plan%E9%20%232.dwg.htm");
        const fs::path page = kvxtest::pathOfUrl(url);
        EXPECT_EQ(slurp(page), "<html>2</html>");
        EXPECT_EQ(tree(page.parent_path()), pages);
    }
    EXPECT_EQ(cached(root).size(), 1u);
}

// A file past a limit is refused whole, naming the limit; the cache keeps the newest indexes
// and clears abandoned work.
TEST_F(HhViewer, TheCacheStaysBounded) {
    Pages pages = indexPages();
    pages.insert({{"big.jpg", std::string((1 << 20) + 1, 'x')}, {"a-rather-long-name.htm", "x"}});
    const fs::path big = dir / "big.chm";
    spit(big, written(pages));
    const struct {
        kvx::hh::Limits limits;
        const char* message;
    } cases[] = {
        {{5, 4ull << 30, 1024, 8, 128, 64 << 20, 4096, 64, 16 << 20, false},
         "holds more than 5 entries"},
        {{1000000, 1 << 20, 1024, 8, 128, 64 << 20, 4096, 64, 16 << 20, false},
         "more than 1 MiB of pages"},
        {{1000000, 4ull << 30, 20, 8}, "an entry name longer than 20 bytes"},
        {{1000000, 4ull << 30, 1024, 8, 128, 64 << 20, 4096, 0, 1 << 20},
         "unpacks to more than 1 MiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const kvx::hh::Extraction e = kvx::hh::extractToCache(big.string(), root, c.limits);
        EXPECT_EQ(e.error, kvx::hh::ViewError::TooLarge);
        EXPECT_NE(e.message.find(c.message), std::string::npos) << e.message;
        EXPECT_EQ(cached(root), std::set<std::string>{});
    }
    EXPECT_EQ(kvx::hh::extractToCache(big.string(), root).error, kvx::hh::ViewError::None);
    // The same counts grow with the file: five entries and one a KiB of a 1 MiB file.
    const kvx::hh::Limits grown{5, 1 << 20, 1024, 8, 128, 64 << 20, 4096, 64, 16 << 20, true, 1024};
    EXPECT_EQ(kvx::hh::extractToCache(big.string(), root, grown).error, kvx::hh::ViewError::None);

    fs::create_directories(fs::path(root) / ".unpack-abandoned" / "sub");
    const kvx::hh::Limits limits{1000000, 4ull << 30, 1024, 3};
    std::vector<std::string> folders;
    for (int i = 0; i < 5; ++i) {
        const fs::path chm = dir / ("f" + std::to_string(i) + ".chm");
        spit(chm, written(indexPages()));
        const kvx::hh::Extraction e = kvx::hh::extractToCache(chm.string(), root, limits);
        ASSERT_EQ(e.error, kvx::hh::ViewError::None) << e.message;
        folders.push_back(fs::path(e.folder).filename());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(cached(root), std::set<std::string>(folders.end() - 3, folders.end()));
}

TEST_F(HhViewer, StartPageFollowsTheFilesOwnRecords) {
    // #WINDOWS: one entry whose home page (0x68 + 4 into the entry) is "home.htm".
    std::string windows(8 + 0x196, '\0');
    kvxtest::putLE(windows, 0, 1, 4);
    kvxtest::putLE(windows, 4, 0x196, 4);
    kvxtest::putLE(windows, 8 + 0x6c, 1, 4);
    const std::string strings = std::string("\0home.htm\0", 10);
    const auto sys = kvxtest::chmSystemFile;
    const std::string brokenSystem = std::string("\3\0\0\0\2\0\xff\x7f", 8) + "index.htm";
    const struct {
        std::string system, windows;
        std::vector<std::string> pages;
        std::string topic;
    } cases[] = {
        {sys("Case.htm"), windows, {"case.htm", "Case.htm", "home.htm"}, "Case.htm"},
        {sys("/CASE.HTM"), "", {"case.htm", "Case.htm"}, "Case.htm"},
        {sys("gone.htm"), windows, {"index.htm", "Home.htm"}, "Home.htm"},
        {brokenSystem, "", {"z.htm", "Index.htm"}, "Index.htm"},
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
