// Files written by our compiled-help writer, read back byte for byte by three readers that
// share no code with it or with each other: libmspack, chmlib and 7-Zip.

#include "chm/chm_writer.h"
#include "support/chm_readers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;
using kvx::chm::ChmFile;

namespace {

// The viewer runs in a UTF-8 locale; libmspack folds case by it.
const bool kLocale = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

std::string htmlLike(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n)
        s += "<tr><td><a href=\"plan " + std::to_string(rng() % 1000) +
             ".dwg.htm\">plan</a></td></tr>\r\n";
    s.resize(n);
    return s;
}

struct Case {
    const char* what;
    std::map<std::string, std::pair<std::string, bool>> files; // name: content, compressible
};

Case awkwardNames() {
    Case c{"awkward names", {}};
    const char* const names[] = {"/ blank.htm",
                                 "/;semicolon.htm",
                                 "/#12 plan.dwg.htm",
                                 "/$dollar.htm",
                                 "/.hidden.htm",
                                 "/back\\slash.htm",
                                 "/plan\xE9.dwg.htm",
                                 "/Case.htm",
                                 "/case.htm",
                                 "/CASE.HTM",
                                 "/fa\xC3\xA7"
                                 "ade.htm",
                                 "/index.htm",
                                 "/sub/page.htm"};
    unsigned seed = 1;
    for (const char* n : names)
        c.files[n] = {htmlLike(100 + seed * 37, seed), true}, ++seed;
    c.files["/empty.htm"] = {"", true};
    c.files["/plan\xE9.dwg.jpg"] = {randomBytes(23000, 7), false};
    return c;
}

Case boundaries() {
    Case c{"files straddling 32 and 64 KiB", {}};
    const std::size_t sizes[] = {1, 32767, 32768, 32769, 65535, 65536, 65537, 100000};
    unsigned seed = 100;
    for (std::size_t size : sizes) {
        c.files["/text " + std::to_string(size) + ".htm"] = {htmlLike(size, seed), true};
        c.files["/picture " + std::to_string(size) + ".jpg"] = {randomBytes(size, seed), false};
        ++seed;
    }
    return c;
}

Case manyFiles() {
    Case c{"10,000 files", {}};
    for (int i = 0; i < 10000; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/plan %05d.dwg.%s", i, i % 2 ? "jpg" : "htm");
        c.files[name] = {i % 2 ? randomBytes(200 + i % 300, i) : htmlLike(300 + i % 500, i),
                         i % 2 == 0};
    }
    return c;
}

// Names equal, contents equal; on a difference, the first differing name only.
void expectSame(const std::map<std::string, std::string>& want,
                const std::map<std::string, std::string>& got, const char* reader) {
    EXPECT_EQ(want.size(), got.size()) << reader;
    for (const auto& [name, content] : want) {
        const auto it = got.find(name);
        if (it == got.end()) {
            ADD_FAILURE() << reader << " misses \"" << name << "\"";
            return;
        }
        if (it->second != content) {
            ADD_FAILURE() << reader << " gives other bytes for \"" << name << "\"";
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

class ChmRoundTrip : public ::testing::TestWithParam<Case (*)()> {};

TEST_P(ChmRoundTrip, threeReadersGiveBackEveryFileByteForByte) {
    ASSERT_TRUE(kLocale);
    const Case c = GetParam()();
    SCOPED_TRACE(c.what);
    std::vector<ChmFile> files;
    std::map<std::string, std::string> want;
    for (const auto& [name, file] : c.files) {
        files.push_back({name, file.second, file.first, nullptr});
        want[name] = file.first;
    }
    std::string bytes;
    const kvx::chm::ChmResult r = kvx::chm::buildChm(files, {}, bytes);
    ASSERT_TRUE(r) << r.message;

    const kvxtest::ChmReadResult mspack = kvxtest::readWithMspack(bytes);
    ASSERT_TRUE(mspack.ok) << mspack.problem;
    expectSame(want, mspack.files, "libmspack");

    // libmspack's own lookup by name. It folds case, so of names differing only in case it
    // finds the first in directory order whichever is asked for.
    std::map<std::string, int> folded;
    for (const auto& [name, content] : want)
        ++folded[lowerAscii(name)];
    for (const auto& [name, content] : want) {
        if (folded[lowerAscii(name)] > 1)
            continue;
        std::string found;
        ASSERT_TRUE(kvxtest::findWithMspack(bytes, name, found)) << "\"" << name << "\"";
        ASSERT_EQ(found, content) << "\"" << name << "\"";
    }

    const fs::path dir =
        fs::path(::testing::TempDir()) / ("chm-round-trip-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "out.chm").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
    }
    // chmlib looks names up without regard to case: its listing gives every file, and its
    // lookup is checked on names without a twin in another case (every 50th of a large set).
    const kvxtest::ChmReadResult chmlib = kvxtest::readWithChmlib(path);
    ASSERT_TRUE(chmlib.ok) << chmlib.problem;
    expectSame(want, chmlib.files, "chmlib");
    std::size_t k = 0;
    for (const auto& [name, content] : want) {
        if (folded[lowerAscii(name)] > 1 || (want.size() > 100 && k++ % 50 != 0))
            continue;
        std::string found;
        ASSERT_TRUE(kvxtest::findWithChmlib(path, name, found)) << "\"" << name << "\"";
        ASSERT_EQ(found, content) << "\"" << name << "\"";
    }

    const kvxtest::ChmReadResult sevenZip = kvxtest::readWith7z(path, (dir / "7z").string());
    ASSERT_TRUE(sevenZip.ok) << sevenZip.problem;
    expectSame(want, sevenZip.files, "7z");
    fs::remove_all(dir);
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
        {{"/" + std::string(kvx::chm::kMaxNameLength, 'x')}, kvx::chm::ChmError::BadName},
        {{"/a.htm", "/b.htm", "/a.htm"}, kvx::chm::ChmError::DuplicateName},
    };
    const std::string path = ::testing::TempDir() + "kvx-refused-" + std::to_string(::getpid());
    std::ofstream(path) << "earlier";
    for (const auto& c : cases) {
        std::vector<ChmFile> files;
        for (const std::string& n : c.names)
            files.push_back({n, true, "x", nullptr});
        const kvx::chm::ChmResult r = kvx::chm::writeChm(path, files, {});
        EXPECT_EQ(r.error, c.error) << c.names.back();
        EXPECT_FALSE(r.message.empty());
    }
    std::vector<ChmFile> files{{"/a.htm", true, "x", nullptr}, {"/b.jpg", false, "", nullptr}};
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

INSTANTIATE_TEST_SUITE_P(Sets, ChmRoundTrip,
                         ::testing::Values(&awkwardNames, &boundaries, &manyFiles));

} // namespace
