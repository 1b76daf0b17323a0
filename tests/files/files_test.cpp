#include "files/paths.h"

#include <gtest/gtest.h>

namespace {

TEST(Paths, joinAddsOneSlash) {
    EXPECT_EQ(kvx::joinPath("/plans", "a.dwg"), "/plans/a.dwg");
    EXPECT_EQ(kvx::joinPath("/", "a.dwg"), "/a.dwg");
    EXPECT_EQ(kvx::joinPath("/plans/", "a.dwg"), "/plans/a.dwg");
}

} // namespace
