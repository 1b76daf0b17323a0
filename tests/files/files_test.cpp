#include "files/atomic_file.h"
#include "files/paths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace {

TEST(Paths, joinAddsOneSlash) {
    EXPECT_EQ(kvx::joinPath("/plans", "a.dwg"), "/plans/a.dwg");
    EXPECT_EQ(kvx::joinPath("/", "a.dwg"), "/a.dwg");
    EXPECT_EQ(kvx::joinPath("/plans/", "a.dwg"), "/plans/a.dwg");
}

TEST(ReadWholeFile, givesBackEveryByteUpToTheLimit) {
    const std::string path = ::testing::TempDir() + "kvx-read-" + std::to_string(::getpid());
    const struct {
        std::size_t size;
        std::size_t limit;
        kvx::ReadStatus status;
    } cases[] = {{0, 10, kvx::ReadStatus::Ok},           {1, 10, kvx::ReadStatus::Ok},
                 {65536, 1 << 20, kvx::ReadStatus::Ok},  {65537, 1 << 20, kvx::ReadStatus::Ok},
                 {200000, 1 << 20, kvx::ReadStatus::Ok}, {11, 10, kvx::ReadStatus::Failed}};
    for (const auto& c : cases) {
        std::string written(c.size, '\0');
        for (std::size_t i = 0; i < c.size; ++i)
            written[i] = static_cast<char>(i * 7 + i / 251);
        std::ofstream(path, std::ios::binary) << written;
        std::string bytes, error;
        EXPECT_EQ(kvx::readWholeFile(path, bytes, error, c.limit), c.status) << c.size;
        if (c.status == kvx::ReadStatus::Ok) {
            EXPECT_EQ(bytes, written) << c.size;
        }
    }
    ::unlink(path.c_str());
    std::string bytes, error;
    EXPECT_EQ(kvx::readWholeFile(path, bytes, error), kvx::ReadStatus::Missing);
}

} // namespace
