#include "files/paths.h"

#include <gtest/gtest.h>

namespace {

// The one rule for names shown to a person: in messages, on a terminal, in the window.
TEST(ShownName, escapesWhatCouldDriveATerminalOrTurnTheTextAround) {
    const struct {
        std::string bytes;
        std::string escaped;  // a message, a terminal
        std::string replaced; // the window: bytes that are not UTF-8 as U+FFFD
    } cases[] = {
        {"plan été.dwg", "plan été.dwg", "plan été.dwg"},
        {"C:\\Plans/index.htm", "C:\\Plans/index.htm", "C:\\Plans/index.htm"},
        {"tab\tbell\x07"
         "del\x7f",
         "tab\\x09bell\\x07del\\x7F", "tab\\x09bell\\x07del\\x7F"},
        {"\x1b]0;owned\x07", "\\x1B]0;owned\\x07", "\\x1B]0;owned\\x07"},
        {"x\u202Egpj.exe", "x\\xE2\\x80\\xAEgpj.exe", "x\\xE2\\x80\\xAEgpj.exe"},
        {"\u200E\u200F\u061C", "\\xE2\\x80\\x8E\\xE2\\x80\\x8F\\xD8\\x9C",
         "\\xE2\\x80\\x8E\\xE2\\x80\\x8F\\xD8\\x9C"},
        {"a\u202Ab\u202Dc\u2066d\u2069",
         "a\\xE2\\x80\\xAAb\\xE2\\x80\\xADc\\xE2\\x81\\xA6d\\xE2\\x81\\xA9",
         "a\\xE2\\x80\\xAAb\\xE2\\x80\\xADc\\xE2\\x81\\xA6d\\xE2\\x81\\xA9"},
        {"line\u2028next\u0085", "line\\xE2\\x80\\xA8next\\xC2\\x85",
         "line\\xE2\\x80\\xA8next\\xC2\\x85"},
        {"latin\xe9.dwg", "latin\\xE9.dwg", "latin\uFFFD.dwg"},
        {"cut\xe2\x82", "cut\\xE2\\x82", "cut\uFFFD\uFFFD"},
        {"\u2067 is not \u202F", "\\xE2\\x81\\xA7 is not \u202F", "\\xE2\\x81\\xA7 is not \u202F"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kvx::shownName(c.bytes), c.escaped) << c.bytes;
        EXPECT_EQ(kvx::shownName(c.bytes, kvx::StrayBytes::Replaced), c.replaced) << c.bytes;
        // Shown twice, a name stays as shown once: messages that quote messages stay readable.
        EXPECT_EQ(kvx::shownName(c.escaped), c.escaped) << c.bytes;
    }
}

} // namespace
