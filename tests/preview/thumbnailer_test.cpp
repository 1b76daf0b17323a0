// The thumbnailer command as a file manager and a user run it.

#include <algorithm>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "preview/picture_codecs.h"
#include "support/dwg_builder.h"

extern char** environ;

using namespace kvxtest;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path) {
    const Bytes b = readFile(path);
    return std::string(b.begin(), b.end());
}

Outcome thumbnailer(const TempDir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> all = {KVX_THUMBNAILER};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = dir.file(".stdout"), err = dir.file(".stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    Outcome run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}

kvx::RgbPicture decodeOutput(const std::string& path) {
    const Bytes png = readFile(path);
    kvx::RgbPicture picture;
    const kvx::CodecError error = kvx::decodePng(png.data(), png.size(), 0, picture);
    EXPECT_FALSE(error) << error.message;
    return picture;
}

// Left half red, right half blue.
Image halves(std::uint32_t w, std::uint32_t h) {
    Image image(w, h, 255, 0, 0);
    image.fillRect(w / 2, 0, w - w / 2, h, 0x0000FF);
    return image;
}

struct SizeCase {
    std::uint32_t w, h;
    const char* size;
    std::uint32_t outW, outH;
    bool png;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << (c.png ? "png-" : "bmp-") << c.w << "x" << c.h << "-size-" << c.size;
}

class Thumbnail : public ::testing::TestWithParam<SizeCase> {};

TEST_P(Thumbnail, IsTheStoredPictureFittedIntoTheSquare) {
    const SizeCase c = GetParam();
    TempDir dir;
    const Image image = halves(c.w, c.h);
    DwgBuilder b(c.png ? "AC1032" : "AC1015");
    b.headerData();
    if (c.png)
        b.png(makePng(image));
    else
        b.bmp(makeBmp(image));
    const std::string input = dir.write("in.dwg", b.bodyAfter(100000).build());
    const std::string output = dir.file("out.png");

    const Outcome run = thumbnailer(dir, {"-s", c.size, input, output});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const kvx::RgbPicture thumb = decodeOutput(output);
    ASSERT_EQ(thumb.width, c.outW);
    ASSERT_EQ(thumb.height, c.outH);
    const kvx::Rgb left = thumb.at(0, thumb.height / 2);
    const kvx::Rgb right = thumb.at(thumb.width - 1, thumb.height / 2);
    EXPECT_EQ(left, (kvx::Rgb{255, 0, 0}));
    EXPECT_EQ(right, (kvx::Rgb{0, 0, 255}));
}

INSTANTIATE_TEST_SUITE_P(Pictures, Thumbnail,
                         ::testing::Values(SizeCase{200, 100, "64", 64, 32, false},
                                           SizeCase{200, 100, "64", 64, 32, true},
                                           SizeCase{30, 90, "45", 15, 45, false},
                                           SizeCase{100, 50, "256", 100, 50, false},
                                           SizeCase{100, 50, "256", 100, 50, true}));

TEST(ThumbnailFailures, LeaveNoOutputAndSayWhyOnOneLine) {
    TempDir dir;
    const std::string none = dir.write("none.dwg", DwgBuilder("AC1032").headerData().build());
    Bytes broken = DwgBuilder("AC1018").bmp(makeBmp(halves(8, 8))).build();
    broken[0x54] ^= 0xFF; // inside the sentinel at 0x51
    const std::string damaged = dir.write("damaged.dwg", broken);
    const std::string old = dir.write("old.dwg", DwgBuilder("AC1009").build());
    const std::string good = dir.write("good.dwg", DwgBuilder().bmp(makeBmp(halves(8, 8))).build());

    struct Case {
        std::vector<std::string> args;
        const char* mention;
    };
    const std::string out = dir.file("out.png");
    const std::vector<Case> cases = {
        {{"-s", "128", none, out}, "no picture"},
        {{"-s", "128", old, out}, "no picture"},
        {{"-s", "128", damaged, out}, "damaged"},
        {{"-s", "128", dir.file("missing.dwg"), out}, "damaged"},
        {{"-s", "0", good, out}, "size"},
        {{"-s", "-5", good, out}, "size"},
        {{"-s", "12x", good, out}, "size"},
        {{"-s", "99999", good, out}, "size"},
        {{"-s", "128", good}, "usage"},
    };
    for (const Case& c : cases) {
        const Outcome run = thumbnailer(dir, c.args);
        EXPECT_NE(run.status, 0) << c.args[2];
        EXPECT_NE(run.err.find(c.mention), std::string::npos) << run.err;
        if (c.args.size() == 4) {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        EXPECT_NE(::access(out.c_str(), F_OK), 0) << "output written for " << c.args[2];
    }
}

TEST(ThumbnailFailures, KeepAnExistingOutput) {
    TempDir dir;
    const std::string none = dir.write("none.dwg", DwgBuilder("AC1032").build());
    const std::string out = dir.write("out.png", Bytes{'k', 'e', 'e', 'p'});
    EXPECT_NE(thumbnailer(dir, {"-s", "64", none, out}).status, 0);
    EXPECT_EQ(slurp(out), "keep");
}

// A file manager creates the output, runs the thumbnailer and reads back the file it holds
// open: the PNG goes into that very file, whatever it held before.
TEST(Thumbnail, WritesIntoTheCallersOutputFile) {
    TempDir dir;
    const std::string in = dir.write("in.dwg", DwgBuilder().bmp(makeBmp(halves(40, 20))).build());
    const std::string out = dir.write("out.png", Bytes(100000, 'x'));
    struct stat before {};
    ASSERT_EQ(::stat(out.c_str(), &before), 0);
    ASSERT_EQ(thumbnailer(dir, {"-s", "32", in, out}).status, 0);
    EXPECT_EQ(decodeOutput(out).width, 32u);
    struct stat after {};
    ASSERT_EQ(::stat(out.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the output was replaced, not written";
    // Nothing is left beside it.
    int files = 0;
    for (const char* name : {"in.dwg", "out.png", ".stdout", ".stderr"})
        files += ::access(dir.file(name).c_str(), F_OK) == 0;
    EXPECT_EQ(files, 4);
}

std::vector<std::vector<std::string>> lines(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            cols.push_back(line.substr(start, tab - start));
        cols.push_back(line.substr(start));
        rows.push_back(cols);
    }
    return rows;
}

TEST(Info, OneTabSeparatedLinePerFile) {
    TempDir dir;
    Bytes badSentinel = DwgBuilder("AC1018").bmp(makeBmp(halves(8, 8))).build();
    badSentinel[0x54] ^= 0xFF; // inside the sentinel at 0x51
    Bytes oddHeader = DwgBuilder("AC1015").bmp(makeBmp(halves(8, 8))).build();
    oddHeader[2] = 0x01;
    oddHeader[3] = 0xFF;
    BmpOptions eightBits;
    eightBits.bits = 8;

    struct Expect {
        std::string path, header, label, offered, picture;
    };
    const std::vector<Expect> expected = {
        {dir.write(
             "bmp.dwg",
             DwgBuilder("AC1015").headerData().bmp(makeBmp(halves(40, 20), eightBits)).build()),
         "AC1015", "Version 2000/2000i/2002", "offered", "bmp 40x20x8"},
        {dir.write("png file.dwg",
                   DwgBuilder("AC1032").headerData().png(makePng(halves(30, 20))).build()),
         "AC1032", "Version 2018 and later", "offered", "png 30x20"},
        {dir.write("wmf.dwg", DwgBuilder("AC1012").wmf(makeWmf()).build()), "AC1012", "Version 13",
         "offered", "wmf"},
        {dir.write("none.dwg", DwgBuilder("AC1014").headerData().build()), "AC1014",
         "Version 14.0/14.01", "offered", "none"},
        {dir.write("r11.dwg", DwgBuilder("AC1009").build()), "AC1009", "Version 11/12",
         "not-offered", "none"},
        {dir.write("sentinel.dwg", badSentinel), "AC1018", "Version 2004/2005", "offered",
         "damaged: no image sentinel at 0x51"},
        {dir.write("odd.dwg", oddHeader), "AC\\x01\\xFF15", "Unknown version", "not-offered",
         "damaged: header \"AC\\x01\\xFF15\" at 0x0"},
        {dir.file("missing.dwg"), "", "Unknown version", "not-offered", "damaged: cannot open"},
    };
    std::vector<std::string> args = {"--info"};
    for (const Expect& e : expected)
        args.push_back(e.path);
    const Outcome run = thumbnailer(dir, args);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = lines(run.out);
    ASSERT_EQ(rows.size(), expected.size()) << run.out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Expect& e = expected[i];
        ASSERT_EQ(rows[i].size(), 5u) << run.out;
        EXPECT_EQ(rows[i][0], e.path);
        EXPECT_EQ(rows[i][1], e.header) << e.path;
        EXPECT_EQ(rows[i][2], e.label) << e.path;
        EXPECT_EQ(rows[i][3], e.offered) << e.path;
        // Damage messages are checked by their start only.
        EXPECT_EQ(rows[i][4].substr(0, e.picture.size()), e.picture) << e.path;
        if (e.picture.rfind("damaged", 0) != 0) {
            EXPECT_EQ(rows[i][4], e.picture);
        }
    }
}

} // namespace
