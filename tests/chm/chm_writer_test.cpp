// Files written by our compiled-help writer, read back byte for byte by three readers that
// share no code with it or with each other: libmspack, chmlib and 7-Zip.

#include "chm/chm_writer.h"
#include "support/chm_readers.h"
#include "support/chm_sample.h"

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;
using kvx::chm::ChmFile;
using kvxtest::randomBytes;
using kvxtest::reportPages;

namespace {

// The viewer runs in a UTF-8 locale; libmspack folds case by it.
const bool kLocale = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;

using Files = std::vector<ChmFile>;
using Contents = std::map<std::string, std::string>;

// Each awkward name as a page and as a folder, an empty page and a picture.
Files awkwardNames() {
    Files f;
    unsigned seed = 1;
    for (const char* stem :
         {" blank", ";semicolon", "#12 plan", "$dollar", ".hidden", "back\\slash", "plan\xE9",
          "Case", "case", "CASE", "fa\303\247ade", "index"}) {
        for (const char* tail : {".htm", "/page.htm"})
            f.push_back({"/" + std::string(stem) + tail, true, reportPages(100 + seed * 37, seed),
                         nullptr});
        ++seed;
    }
    f.push_back({"/empty.htm", true, "", nullptr});
    f.push_back({"/plan\xE9.dwg.jpg", false, randomBytes(23000, 7), nullptr});
    return f;
}

Files boundaries() {
    Files f;
    unsigned seed = 100;
    for (std::size_t size : {1, 32767, 32768, 32769, 65535, 65536, 65537, 100000}) {
        const std::string n = std::to_string(size);
        f.push_back({"/text " + n + ".htm", true, reportPages(size, seed), nullptr});
        f.push_back({"/picture " + n + ".jpg", false, randomBytes(size, seed++), nullptr});
    }
    return f;
}

// Several listing chunks and an index chunk.
Files manyFiles() {
    Files f;
    for (unsigned i = 0; i < 10000; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/plan %05u.dwg.%s", i, i % 2 ? "jpg" : "htm");
        f.push_back({name, i % 2 == 0,
                     i % 2 ? randomBytes(200 + i % 300, i) : reportPages(300 + i % 500, i),
                     nullptr});
    }
    return f;
}

// Folders of one name at the longest a reader lists (512 bytes, in folders short enough for 7-Zip
// to unpack) and many of 200: listing chunks that begin with the long names, which then fill
// the index. Room for the directory sized from shorter first names was too small for it.
Files longNamesInFolders() {
    Files f;
    for (unsigned folder = 0; folder < 100; ++folder) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "/plans %04u/", folder);
        std::string longest = std::string(prefix) + '0';
        while (longest.size() < kvx::chm::kMaxNameLength)
            longest += longest.size() % 128 ? 'x' : '/';
        f.push_back({longest, true, "x", nullptr});
        for (unsigned i = 0; i < 17; ++i)
            f.push_back({prefix + std::to_string(100 + i) + std::string(185, 'y'), true,
                         reportPages(1 + i, folder), nullptr});
    }
    return f;
}

// Names equal, contents equal; on a difference, the first differing name only.
void expectSame(const Contents& want, const Contents& got) {
    EXPECT_EQ(want.size(), got.size());
    for (const auto& [name, content] : want) {
        const auto it = got.find(name);
        if (it == got.end() || it->second != content) {
            ADD_FAILURE() << (it == got.end() ? "misses \"" : "gives other bytes for \"") << name
                          << "\"";
            return;
        }
    }
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

class ChmRoundTrip : public ::testing::TestWithParam<Files (*)()> {};

TEST_P(ChmRoundTrip, threeReadersGiveBackEveryFileByteForByte) {
    ASSERT_TRUE(kLocale);
    const Files files = GetParam()();
    Contents want, lookedUp;
    std::map<std::string, int> folded;
    for (const ChmFile& f : files) {
        want[f.name] = f.content;
        ++folded[lowerAscii(f.name)];
    }
    // Both lookups fold case: of names differing only in case, they find either.
    std::vector<std::string> lookups;
    for (const auto& [name, content] : want)
        if (folded[lowerAscii(name)] == 1)
            lookups.push_back(name), lookedUp[name] = content;
    std::string bytes;
    const kvx::chm::ChmResult r = kvx::chm::buildChm(files, {}, bytes);
    ASSERT_TRUE(r) << r.message;
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("chm-round-trip-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "out.chm").string();
    std::ofstream(path, std::ios::binary) << bytes;

    const auto check = [&](const char* reader, const kvxtest::ChmReadResult& read, bool lookup) {
        SCOPED_TRACE(reader);
        ASSERT_TRUE(read.ok) << read.problem;
        expectSame(want, read.files);
        if (lookup)
            expectSame(lookedUp, read.found);
    };
    check("libmspack", kvxtest::readWithMspack(bytes, lookups), true);
    check("chmlib", kvxtest::readWithChmlib(path, lookups), true);
    check("7z", kvxtest::readWith7z(path, (dir / "7z").string()), false);
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Sets, ChmRoundTrip,
                         ::testing::Values(&awkwardNames, &boundaries, &manyFiles,
                                           &longNamesInFolders));

std::uint32_t dword(const std::string& s, std::size_t at) {
    if (at + 4 > s.size())
        return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(
        static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8 |
        static_cast<unsigned char>(s[at + 2]) << 16 | static_cast<unsigned char>(s[at + 3]) << 24);
}

std::string textAt(const std::string& s, std::size_t at) {
    return at < s.size() ? std::string(s.c_str() + at) : "<outside>";
}

// Enough topics to fill several 4 KiB blocks of each table, with long and non-ASCII titles:
// a reader that follows the tables from a topic number (as search results do) finds the
// page's name and title, and #SYSTEM and #WINDOWS name the contents, the keywords and the
// start page.
TEST(ChmWriter, topicTablesLeadFromEachTopicNumberToItsPageAndTitle) {
    Files files;
    kvx::chm::ChmOptions options;
    options.title = "Plans";
    for (int i = 0; i < 1200; ++i) {
        const std::string name =
            "/r " + std::to_string(i) + " \xD0\x9F\xD0\xBB\xD0\xB0\xD0\xBD.dwg.htm";
        files.push_back({name, true, "<html></html>", nullptr});
        options.topics.push_back({name,
                                  std::string(static_cast<std::size_t>(i % 97), 'x') +
                                      "\xE5\x9B\xBE " + std::to_string(i),
                                  i % 2 == 0});
    }
    files.push_back({"/index.hhc", true, "<html></html>", nullptr});
    files.push_back({"/index.hhk", true, "<html></html>", nullptr});
    options.contentsFile = "/index.hhc";
    options.keywordFile = "/index.hhk";
    std::string bytes;
    ASSERT_TRUE(kvx::chm::buildChm(files, options, bytes));
    const std::string path = ::testing::TempDir() + "kvx-topics-" + std::to_string(::getpid());
    std::ofstream(path, std::ios::binary) << bytes;
    const kvxtest::ChmReadResult read = kvxtest::readWithChmlib(
        path, {"/#TOPICS", "/#URLTBL", "/#URLSTR", "/#STRINGS", "/#SYSTEM", "/#WINDOWS"});
    std::remove(path.c_str());
    ASSERT_TRUE(read.ok) << read.problem;
    ASSERT_EQ(read.found.size(), 6u);
    const std::string& topics = read.found.at("/#TOPICS");
    const std::string& urlTable = read.found.at("/#URLTBL");
    const std::string& urlStrings = read.found.at("/#URLSTR");
    const std::string& strings = read.found.at("/#STRINGS");
    ASSERT_EQ(topics.size(), 16 * options.topics.size());
    for (std::size_t i = 0; i < options.topics.size(); ++i) {
        const std::uint32_t url = dword(topics, 16 * i + 8);
        EXPECT_EQ(dword(urlTable, url + 4), i);
        EXPECT_EQ("/" + textAt(urlStrings, dword(urlTable, url + 8) + 8), options.topics[i].name);
        EXPECT_EQ(textAt(strings, dword(topics, 16 * i + 4)), options.topics[i].title);
        EXPECT_EQ(static_cast<unsigned char>(topics[16 * i + 12]), i % 2 == 0 ? 6 : 2);
        // No text runs across a 4 KiB block: readers read them a block at a time.
        const std::uint32_t title = dword(topics, 16 * i + 4);
        EXPECT_LE(title % 4096 + options.topics[i].title.size(), 4095u) << i;
    }
    const std::string& windows = read.found.at("/#WINDOWS");
    ASSERT_EQ(dword(windows, 0), 1u);
    ASSERT_EQ(windows.size(), 8 + dword(windows, 4));
    EXPECT_EQ(textAt(strings, dword(windows, 8 + 0x14)), "Plans");
    EXPECT_EQ(textAt(strings, dword(windows, 8 + 0x60)), "index.hhc");
    EXPECT_EQ(textAt(strings, dword(windows, 8 + 0x64)), "index.hhk");
    EXPECT_EQ(textAt(strings, dword(windows, 8 + 0x68)), "index.htm");
    const std::string& system = read.found.at("/#SYSTEM");
    std::map<unsigned, std::string> records;
    for (std::size_t at = 4; at + 4 <= system.size();) {
        const unsigned code = static_cast<unsigned char>(system[at]) |
                              static_cast<unsigned char>(system[at + 1]) << 8;
        const std::size_t length = static_cast<unsigned char>(system[at + 2]) |
                                   static_cast<unsigned char>(system[at + 3]) << 8;
        records[code] = system.substr(at + 4, length);
        at += 4 + length;
    }
    EXPECT_EQ(records[0], std::string("index.hhc", 10));
    EXPECT_EQ(records[1], std::string("index.hhk", 10));
    EXPECT_EQ(records[5], std::string("main", 5));
}

// What is loaded ahead is bounded in bytes: files are loaded ahead only while their sizes fit
// the bound, and a file larger than it comes in pieces on its turn, never whole; every byte
// still reads back in place.
TEST(ChmWriter, readAheadStaysWithinItsBytesAndALargeFileComesInPieces) {
    kvx::chm::ChmOptions options;
    options.readAheadBytes = 1 << 20;
    options.readers = 4;
    std::atomic<int> started{0};
    int startedAtTheLargeOnesTurn = -1;
    Files files;
    Contents want;
    for (int i = 0; i < 24; ++i) {
        const std::string name = "/p" + std::to_string(100 + i) + ".jpg";
        const std::string bytes = randomBytes(300000, static_cast<unsigned>(i));
        want[name] = bytes;
        ChmFile f(name, false);
        f.loadSize = bytes.size();
        f.load = [bytes, &started](std::string& out, std::string&) {
            ++started;
            out = bytes;
            return true;
        };
        if (i == 12) { // 5 MiB, streamed on its turn and never loaded
            f.loadSize = 5 << 20;
            want[name].clear();
            f.load = [](std::string&, std::string& error) {
                error = "loaded whole";
                return false;
            };
            f.stream = [&, name](const auto& write, std::string&) {
                startedAtTheLargeOnesTurn = started;
                for (unsigned piece = 0; piece < 5; ++piece) {
                    const std::string bytes = randomBytes(1 << 20, 77u + piece);
                    want[name] += bytes;
                    write(bytes);
                }
                return true;
            };
        }
        files.push_back(std::move(f));
    }
    std::string bytes;
    const kvx::chm::ChmResult r = kvx::chm::buildChm(files, options, bytes);
    ASSERT_TRUE(r) << r.message;
    // The twelve before it, and ahead of it no more files of 300,000 bytes than 1 MiB holds.
    EXPECT_GE(startedAtTheLargeOnesTurn, 12);
    EXPECT_LE(startedAtTheLargeOnesTurn, 12 + 3);
    const kvxtest::ChmReadResult read = kvxtest::readWithMspack(bytes);
    ASSERT_TRUE(read.ok) << read.problem;
    expectSame(want, read.files);
}

// Names no reader could give back as they are, and a file whose bytes cannot be had: refused
// with a message naming it, and an earlier file at the path stays as it was.
TEST(ChmWriter, refusesWhatCannotRoundTripAndKeepsTheEarlierFile) {
    const struct {
        std::vector<std::string> names;
        kvx::chm::ChmError error;
    } cases[] = {
        {{""}, kvx::chm::ChmError::BadName},
        {{"/"}, kvx::chm::ChmError::BadName},
        {{"page.htm"}, kvx::chm::ChmError::BadName},
        {{"/sub/"}, kvx::chm::ChmError::BadName},
        {{std::string("/a\0b.htm", 8)}, kvx::chm::ChmError::BadName},
        {{"/" + std::string(kvx::chm::kMaxNameLength - 4, 'x') + ".htm"},
         kvx::chm::ChmError::BadName},
        {{"/a.htm", "/b.htm", "/a.htm"}, kvx::chm::ChmError::DuplicateName},
    };
    const std::string path = ::testing::TempDir() + "kvx-refused-" + std::to_string(::getpid());
    std::ofstream(path) << "earlier";
    for (const auto& c : cases) {
        Files files;
        for (const std::string& n : c.names)
            files.push_back({n, true, "x", nullptr});
        const kvx::chm::ChmResult r = kvx::chm::writeChm(path, files, {});
        EXPECT_EQ(r.error, c.error) << c.names.back();
        if (c.names.back().find('\0') == std::string::npos) {
            EXPECT_NE(r.message.find(c.names.back()), std::string::npos) << r.message;
        }
    }
    Files files{{"/a.htm", true, "x", nullptr}, {"/b.jpg", false, "", nullptr}};
    files[1].load = [](std::string&, std::string& error) {
        error = "cannot open 'b.jpg'";
        return false;
    };
    const kvx::chm::ChmResult r = kvx::chm::writeChm(path, files, {});
    EXPECT_EQ(r.error, kvx::chm::ChmError::CannotLoad);
    EXPECT_NE(r.message.find("b.jpg"), std::string::npos);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "earlier");
    std::remove(path.c_str());
}

} // namespace
