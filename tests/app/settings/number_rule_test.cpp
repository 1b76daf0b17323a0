#include "app/settings/number_rule.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

struct NumberCase {
    const char* text;
    int number;
};

class SettingNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(SettingNumberTest, ReadsTheNumberAText) {
    EXPECT_EQ(kvx::settingNumber(GetParam().text), GetParam().number)
        << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingNumberTest,
    ::testing::Values(NumberCase{"", 0}, NumberCase{"7", 7}, NumberCase{"25", 25},
                      NumberCase{"abc", 0}, NumberCase{" 3x", 3}, NumberCase{"01", 1},
                      NumberCase{"   12", 12}, NumberCase{"\t5", 5}, NumberCase{"-1", 1},
                      NumberCase{"+20", 20}, NumberCase{"-", 0}, NumberCase{"+-1", 0},
                      NumberCase{"- 1", 0}, NumberCase{"1 2", 1}, NumberCase{"1.9", 1},
                      NumberCase{"$1F", 31}, NumberCase{"$1g", 1}, NumberCase{"x10", 16},
                      NumberCase{"X10", 16}, NumberCase{"0x1f", 31}, NumberCase{"0X1F", 31},
                      NumberCase{"-$a", 10}, NumberCase{"$", 0}, NumberCase{"0x", 0},
                      NumberCase{"0xg", 0}, NumberCase{"00x1", 0}, NumberCase{"12ab", 12},
                      NumberCase{"2147483647", INT_MAX}, NumberCase{"2147483648", INT_MAX},
                      NumberCase{"99999999999999999999999999999999", INT_MAX},
                      NumberCase{"$FFFFFFFFFFFFFFFFFFFF1", INT_MAX},
                      NumberCase{"$7fffffff", INT_MAX}, NumberCase{"$7ffffffe", INT_MAX - 1}));

struct OneCase {
    const char* text;
    bool on;
};

class EqualsOneTest : public ::testing::TestWithParam<OneCase> {};

TEST_P(EqualsOneTest, OnlyTheSingleDigitOneIsOn) {
    EXPECT_EQ(kvx::equalsOne(GetParam().text), GetParam().on) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Texts, EqualsOneTest,
                         ::testing::Values(OneCase{"1", true}, OneCase{"01", false},
                                           OneCase{" 1", false}, OneCase{"1 ", false},
                                           OneCase{"", false}, OneCase{"0", false},
                                           OneCase{"$1", false}, OneCase{"11", false}));

TEST(TrackBarPosition, LimitsToOneToTwenty) {
    const struct {
        int number, position;
    } cases[] = {{0, 1}, {1, 1}, {7, 7}, {20, 20}, {21, 20}, {INT_MAX, 20}, {INT_MIN, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(kvx::trackBarPosition(c.number), c.position) << c.number;
}

} // namespace
