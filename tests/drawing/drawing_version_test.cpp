// Naming a drawing's release from its first bytes, and the preview decision.

#include "drawing/drawing_version.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/kvx-version-XXXXXX";
        path_ = ::mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string file(const std::string& name, const std::string& bytes) const {
        const std::string p = (path_ / name).string();
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    fs::path path() const { return path_; }

private:
    fs::path path_;
};

struct Case {
    const char* what;
    std::string bytes; // the file's content
    std::string header;
    std::string label;
    bool offered;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.what;
}

std::string withTail(std::string head) {
    return head + std::string("\x01\x02 rest of the drawing", 22);
}

class IdentifyTest : public ::testing::TestWithParam<Case> {};

TEST_P(IdentifyTest, namesTheReleaseAndDecidesThePreview) {
    const Case& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("drawing.dwg", c.bytes);
    kvx::CurrentVersionLabel = "left over from the drawing before";
    const kvx::DrawingIdentity id = kvx::IdentifyDrawingVersion(path);
    EXPECT_EQ(id.header, c.header) << c.what;
    EXPECT_EQ(kvx::CurrentVersionLabel, c.label) << c.what;
    EXPECT_EQ(id.offered, c.offered) << c.what;
}

const std::string kUnknown = "Unknown version";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Headers, IdentifyTest, ::testing::Values(
    Case{"2000 with a body", withTail("AC1015"), "AC1015", "Version 2000/2000i/2002", true},
    Case{"threshold itself", withTail("AC1011"), "AC1011", "Internal version pre-R13", false},
    Case{"first with preview", withTail("AC1012"), "AC1012", "Version 13", true},
    Case{"shared label", withTail("AC1008"), "AC1008", "Internal version pre-R11", false},
    Case{"accented label", withTail("AC1001"), "AC1001", "Internal version pr\xC3\xA9-2.5", false},
    Case{"blank in signature", withTail("MC0.0 "), "MC0.0 ", "Version 1.1", true},
    Case{"five bytes then zero", std::string("MC0.0\0xyz", 9), "MC0.0", kUnknown, true},
    Case{"dot sorts low", withTail("AC1.2 "), "AC1.2 ", "Version 1.2", false},
    Case{"2.10 offered by the byte rule", withTail("AC2.10"), "AC2.10", "Version 2.10", true},
    Case{"lower case", withTail("ac1015"), "ac1015", kUnknown, true},
    Case{"R2004", withTail("AC1018"), "AC1018", "Version 2004/2005", true},
    Case{"pre-2000", withTail("AC1500"), "AC1500", "Version pre-2000", true},
    Case{"further: 1.40", withTail("AC1.40"), "AC1.40", "Version 1.4", false},
    Case{"further: 2007", withTail("AC1021"), "AC1021", "Version 2007/2008/2009", true},
    Case{"further: 2010", withTail("AC1024"), "AC1024", "Version 2010/2011/2012", true},
    Case{"further: 2013", withTail("AC1027"), "AC1027", "Version 2013-2017", true},
    Case{"further: 2018", withTail("AC1032"), "AC1032", "Version 2018 and later", true},
    Case{"zip archive", withTail("PK\x03\x04zz"), "PK\x03\x04zz", kUnknown, true},
    Case{"high bytes sort after", withTail("\xFF\xFE""AC10"), "\xFF\xFE""AC10", kUnknown, true},
    Case{"empty file", "", "", kUnknown, false},
    Case{"three bytes", "AC1", "AC1", kUnknown, false},
    Case{"five bytes", "AC101", "AC101", kUnknown, false},
    Case{"zero first", std::string("\0AC1015", 7), "", kUnknown, false}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name;
        for (const char* c = info.param.what; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });
// clang-format on

// The 25 releases the program has always named, each label written out letter for letter; the
// preview decision is the byte comparison with "AC1011", not a column of the table.
TEST(Identify, everyKnownReleaseHasItsExactLabel) {
    const struct {
        const char* header;
        const char* label;
        bool offered;
    } rows[] = {
        {"MC0.0 ", "Version 1.1", true},
        {"AC1.2 ", "Version 1.2", false},
        {"AC1.4 ", "Version 1.4", false},
        {"AC1.50", "Version 2.0", false},
        {"AC2.10", "Version 2.10", true},
        {"AC2.20", "Internal version 2.20", true},
        {"AC2.21", "Internal version 2.21", true},
        {"AC2.22", "Internal version 2.22", true},
        {"AC1001", "Internal version pr\xC3\xA9-2.5", false},
        {"AC1002", "Version 2.5", false},
        {"AC1003", "Version 2.6", false},
        {"AC1004", "Version R9", false},
        {"AC1005", "Internal version pre-R10", false},
        {"AC1006", "Version R10", false},
        {"AC1007", "Internal version pre-R11", false},
        {"AC1008", "Internal version pre-R11", false},
        {"AC1009", "Version 11/12", false},
        {"AC1010", "Internal version pre-R13", false},
        {"AC1011", "Internal version pre-R13", false},
        {"AC1012", "Version 13", true},
        {"AC1013", "Version pre-14", true},
        {"AC1014", "Version 14.0/14.01", true},
        {"AC1500", "Version pre-2000", true},
        {"AC1015", "Version 2000/2000i/2002", true},
        {"AC1018", "Version 2004/2005", true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(kvx::versionLabelFor(row.header), row.label) << row.header;
        EXPECT_EQ(kvx::offeredToPreview(row.header), row.offered) << row.header;
    }
    // Trimmed or padded forms of a signature match nothing.
    EXPECT_EQ(kvx::versionLabelFor("AC1.2"), kUnknown);
    EXPECT_EQ(kvx::versionLabelFor("AC1015 "), kUnknown);
}

TEST(Identify, unreadableFilesGiveTheEmptyHeader) {
    TempDir dir;
    kvx::CurrentVersionLabel.clear();
    // Missing, a folder, and a FIFO that nobody writes (must not hang).
    const std::string fifo = (dir.path() / "pipe.dwg").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path :
         {(dir.path() / "missing.dwg").string(), dir.path().string(), fifo}) {
        const kvx::DrawingIdentity id = kvx::IdentifyDrawingVersion(path);
        EXPECT_EQ(id.header, "") << path;
        EXPECT_FALSE(id.offered) << path;
        EXPECT_EQ(kvx::CurrentVersionLabel, kUnknown) << path;
    }
}

TEST(Identify, readsTheFileAgainEachTime) {
    TempDir dir;
    const std::string path = dir.file("a.dwg", withTail("AC1014"));
    EXPECT_EQ(kvx::IdentifyDrawingVersion(path).header, "AC1014");
    dir.file("a.dwg", withTail("AC1018"));
    EXPECT_EQ(kvx::IdentifyDrawingVersion(path).header, "AC1018");
    EXPECT_EQ(kvx::CurrentVersionLabel, "Version 2004/2005");
}

TEST(Identify, closesEveryFileItOpens) {
    TempDir dir;
    const std::string path = dir.file("a.dwg", withTail("AC1015"));
    const auto openFds = [] {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd"))
            ++n;
        return n;
    };
    const std::size_t before = openFds();
    for (int i = 0; i < 200; ++i)
        kvx::IdentifyDrawingVersion(path);
    EXPECT_EQ(openFds(), before);
}

} // namespace
