#include "app/settings/hive_format.h"

#include "settings_test_support.h"

#include <gtest/gtest.h>

namespace {

using kvx::HiveDocument;
using kvx::HiveParseError;
using kvx::RegValue;

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31";

HiveDocument parsed(const std::string& text) {
    HiveParseError error;
    auto doc = HiveDocument::parse(text, error);
    EXPECT_TRUE(doc.has_value()) << error.describe() << "\n" << text;
    return doc.value_or(HiveDocument());
}

RegValue bytesOf(std::uint32_t type, const std::string& data) {
    return {type, data};
}

// Lines as another program would have written them, and what they hold.
struct ReadCase {
    const char* line;
    const char* name;
    RegValue value;
};

class HiveReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(HiveReadTest, ReadsEachKindOfLine) {
    const auto doc = parsed(kvxtest::hiveText({GetParam().line}));
    const auto found = doc.find(kKey, GetParam().name);
    ASSERT_TRUE(found.has_value()) << GetParam().line;
    EXPECT_EQ(found->type, GetParam().value.type) << GetParam().line;
    EXPECT_EQ(found->data, GetParam().value.data) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HiveReadTest,
    ::testing::Values(
        ReadCase{"\"temp\"=\"4\"", "temp", RegValue::text("4")},
        ReadCase{"\"path\"=\"C:\\\\Tools\\\\hhc\"", "path", RegValue::text("C:\\Tools\\hhc")},
        ReadCase{"\"q\"=\"say \\\"hi\\\"\"", "q", RegValue::text("say \"hi\"")},
        ReadCase{"\"a\\\\b\\\"c\"=\"\"", "a\\b\"c", RegValue::text("")},
        ReadCase{"@=\"unnamed\"", "", RegValue::text("unnamed")},
        ReadCase{"  \"sp\" = \"x\"  ", "sp", RegValue::text("x")},
        ReadCase{"\"autoname\"=dword:00000001", "autoname", RegValue::dword(1)},
        ReadCase{"\"d\"=DWORD:fFfFfFfF", "d", RegValue::dword(0xffffffffu)},
        ReadCase{"\"d\"=dword:a", "d", RegValue::dword(10)},
        ReadCase{"\"b\"=hex:01,ff,\\\r\n  00", "b", bytesOf(3, std::string("\x01\xff\x00", 3))},
        ReadCase{"\"e\"=hex:", "e", bytesOf(3, "")},
        ReadCase{"\"x\"=hex(2):25,00", "x", bytesOf(2, std::string("%\0", 2))},
        ReadCase{"\"n\"=hex(0):", "n", bytesOf(0, "")},
        ReadCase{"\"s\"=hex(1):61,0a,62,00", "s", RegValue::text("a\nb")}));

TEST(HiveFormat, EveryTypeAndEscapeSurvivesWriteAndRead) {
    const struct {
        std::string name;
        RegValue value;
    } cases[] = {
        {"temp", RegValue::text("12")},
        {"back\\slash", RegValue::text("C:\\Plans\\")},
        {"quo\"te", RegValue::text("\"quoted\" \\\"both\\\"")},
        {"", RegValue::text("the unnamed value")},
        {"empty", RegValue::text("")},
        {"accents", RegValue::text("Données à l'été")},
        {"lines", RegValue::text("one\r\ntwo\nthree")},
        {"zero", RegValue::dword(0)},
        {"one", RegValue::dword(1)},
        {"max", RegValue::dword(0xffffffffu)},
        {"binary", bytesOf(3, std::string(200, '\xab'))},
        {"expand", bytesOf(2, std::string("%HOME%\0", 7))},
        {"multi", bytesOf(7, std::string("a\0b\0\0", 5))},
        {"none", bytesOf(0, "")},
    };
    auto doc = parsed(kvxtest::hiveText({}));
    for (const auto& c : cases)
        ASSERT_TRUE(doc.set(kKey, c.name, c.value)) << c.name;
    const auto again = parsed(doc.serialize());
    for (const auto& c : cases) {
        const auto found = again.find(kKey, c.name);
        ASSERT_TRUE(found.has_value()) << c.name;
        EXPECT_EQ(*found, c.value) << c.name;
    }
}

TEST(HiveFormat, WritesTheLinesRegeditWrites) {
    const struct {
        std::string name;
        RegValue value;
        std::string line;
    } cases[] = {
        {"temp", RegValue::text("12"), "\"temp\"=\"12\"\r\n"},
        {"a\\b", RegValue::text("x\"y"), "\"a\\\\b\"=\"x\\\"y\"\r\n"},
        {"", RegValue::text(""), "@=\"\"\r\n"},
        {"autoname", RegValue::dword(1), "\"autoname\"=dword:00000001\r\n"},
        {"big", RegValue::dword(0xdeadbeefu), "\"big\"=dword:deadbeef\r\n"},
        {"nl", RegValue::text("a\nb"), "\"nl\"=hex(1):61,0a,62,00\r\n"},
        {"raw", bytesOf(3, std::string("\x01\x02", 2)), "\"raw\"=hex:01,02\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HiveDocument::valueLine(c.name, c.value, "\r\n"), c.line) << c.name;
}

const std::string kMixed = "REGEDIT4\n"
                           "; settings of the drawing browser\n"
                           "\n"
                           "[HKEY_CURRENT_USER\\Software\\Other]\n"
                           "\"temp\"=\"99\"\n"
                           "\n"
                           "[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\n"
                           "\"blob\"=hex:01,02,\\\n"
                           "    03,04\n"
                           "; a note of the user\n"
                           "\"temp\" = \"4\"\n"
                           "\"mystery\"=hex(b):01,00,00,00,00,00,00,00\n"
                           "\"gone\"=-\n"
                           "\n"
                           "[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31\\Sub]\n"
                           "\"temp\"=\"5\"\n";

TEST(HiveFormat, UnchangedFileIsWrittenBackByteForByte) {
    EXPECT_EQ(parsed(kMixed).serialize(), kMixed);
}

TEST(HiveFormat, ChangingOneValueTouchesOnlyItsLine) {
    auto doc = parsed(kMixed);
    ASSERT_TRUE(doc.set(kKey, "temp", RegValue::text("12")));
    std::string expected = kMixed;
    expected.replace(expected.find("\"temp\" = \"4\""), 12, "\"temp\"=\"12\"");
    EXPECT_EQ(doc.serialize(), expected);
    EXPECT_EQ(doc.find("HKEY_CURRENT_USER\\Software\\Other", "temp"), RegValue::text("99"));
}

TEST(HiveFormat, NewValueGoesAfterTheKeysLastValueWithTheFilesLineBreaks) {
    auto doc = parsed(kMixed);
    ASSERT_TRUE(doc.set(kKey, "zoom", RegValue::text("1")));
    std::string expected = kMixed;
    expected.insert(expected.find("\"gone\"=-\n") + 9, "\"zoom\"=\"1\"\n");
    EXPECT_EQ(doc.serialize(), expected);
}

TEST(HiveFormat, RemovedMarkerHidesAValueUntilItIsSetAgain) {
    auto doc = parsed(kMixed);
    EXPECT_FALSE(doc.find(kKey, "gone").has_value());
    ASSERT_TRUE(doc.set(kKey, "gone", RegValue::dword(3)));
    EXPECT_EQ(doc.find(kKey, "gone"), RegValue::dword(3));
}

TEST(HiveFormat, NamesAndKeysIgnoreLetterCaseAndKeepTheirSpelling) {
    auto doc = parsed(kvxtest::hiveText({"\"Temp\"=\"4\""}));
    const std::string upperKey = "HKEY_CURRENT_USER\\SOFTWARE\\STALWEN\\KORVENIX31";
    EXPECT_EQ(doc.find(upperKey, "TEMP"), RegValue::text("4"));
    ASSERT_TRUE(doc.set(kKey, "temp", RegValue::text("5")));
    EXPECT_EQ(doc.serialize(), kvxtest::hiveText({"\"Temp\"=\"5\""}));
}

TEST(HiveFormat, LastDefinitionWinsAndDuplicatesGoWithAChange) {
    auto doc = parsed(kvxtest::hiveText({"\"temp\"=\"1\"", "\"temp\"=\"2\""}));
    EXPECT_EQ(doc.find(kKey, "temp"), RegValue::text("2"));
    ASSERT_TRUE(doc.set(kKey, "temp", RegValue::text("3")));
    EXPECT_EQ(doc.serialize(), kvxtest::hiveText({"\"temp\"=\"3\""}));
}

TEST(HiveFormat, SetRefusesAMissingKeyAndUnwritableNames) {
    auto doc = parsed("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n");
    EXPECT_FALSE(doc.set(kKey, "temp", RegValue::text("1")));
    auto ours = parsed(kvxtest::hiveText({}));
    EXPECT_FALSE(ours.set(kKey, "two\nlines", RegValue::text("1")));
    EXPECT_FALSE(ours.set(kKey, std::string("nul\0", 4), RegValue::text("1")));
}

TEST(HiveFormat, LastLineWithoutLineBreakGetsOneBeforeANewValue) {
    auto doc = parsed("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\n\"a\"=\"1\"");
    ASSERT_TRUE(doc.set(kKey, "b", RegValue::text("2")));
    EXPECT_EQ(doc.serialize(),
              "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\n\"a\"=\"1\"\n"
              "\"b\"=\"2\"\n");
}

// A last line ended by a bare carriage return reads as a line of its own; a write must keep it
// one, or the next read stops there.
TEST(HiveFormat, LastLineEndedByABareCarriageReturnStaysReadableAfterAWrite) {
    const std::string section = "[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]";
    for (const std::string& text :
         {"REGEDIT4\r\n" + section + "\r\n\"a\"=\"1\"\r", "REGEDIT4\n" + section + "\r",
          "REGEDIT4\n" + section + "\n; note\r"}) {
        auto doc = parsed(text);
        ASSERT_TRUE(doc.set(kKey, "b", RegValue::text("2")));
        const auto again = parsed(doc.serialize());
        EXPECT_EQ(again.find(kKey, "b"), RegValue::text("2")) << text;
    }
    // The setup command brings the key into a hive that holds only its first line.
    auto bare = parsed("REGEDIT4\r");
    bare.appendKeyFrom(parsed("REGEDIT4\n" + section + "\n\"a\"=\"1\"\r"), kKey);
    ASSERT_TRUE(bare.set(kKey, "b", RegValue::text("2")));
    const auto again = parsed(bare.serialize());
    EXPECT_EQ(again.find(kKey, "a"), RegValue::text("1"));
    EXPECT_EQ(again.find(kKey, "b"), RegValue::text("2"));
}

struct BadCase {
    std::string text;
    int line;
};

class HiveBadTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(HiveBadTest, NamesTheLineThatIsNotTheFormat) {
    HiveParseError error;
    EXPECT_FALSE(HiveDocument::parse(GetParam().text, error).has_value()) << GetParam().text;
    EXPECT_EQ(error.line, GetParam().line) << GetParam().text;
}

const std::string kHead = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\n";

INSTANTIATE_TEST_SUITE_P(
    Files, HiveBadTest,
    ::testing::Values(
        BadCase{"", 1}, BadCase{"Windows Registry Editor Version 4.00\n", 1},
        BadCase{std::string("\xFF\xFER\0E\0\0\xDC", 8), 1}, BadCase{"\xFF\xFER", 1},
        BadCase{"\x89PNG\r\n\x1a\n", 1}, BadCase{"REGEDIT4\n\"a\"=\"1\"\n", 2},
        BadCase{kHead + "\"a\"=\"1\n", 3}, BadCase{kHead + "\"a\"=\"1\"x\n", 3},
        BadCase{kHead + "\"a\"=\"C:\\Tools\"\n", 3}, BadCase{kHead + "\"a\"\"1\"\n", 3},
        BadCase{kHead + "\"a\"=dword:\n", 3}, BadCase{kHead + "\"a\"=dword:123456789\n", 3},
        BadCase{kHead + "\"a\"=dword:12g\n", 3}, BadCase{kHead + "\"a\"=hex:1,zz\n", 3},
        BadCase{kHead + "\"a\"=hex:01,,02\n", 3}, BadCase{kHead + "\"a\"=hex(:01\n", 3},
        BadCase{kHead + "\n\"a\"=hex:01,\\\n", 4}, BadCase{kHead + "\"a\"=1\n", 3},
        BadCase{kHead + "[unclosed\n", 3}, BadCase{kHead + "garbage\n", 3},
        BadCase{kHead + "[-]\n", 3}, BadCase{kHead + "\"a\"=\"1\" x ; y\n", 3},
        BadCase{kHead + "\"a\"=\"\\0\"\n", 3},
        BadCase{std::string(HiveDocument::kMaxBytes + 1, '\n'), 1}));

std::string utf16(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (unsigned char c : utf8) {
        // The tests' texts are ASCII and Latin-1 written as one byte each.
        out += static_cast<char>(c);
        out += '\0';
    }
    return out;
}

// Files as Windows' registry editor, Wine's and text editors leave them, and the value each
// holds in the settings key.
struct ExportCase {
    const char* what;
    std::string bytes;
    kvx::HiveEncoding encoding;
    const char* name;
    RegValue value;
};

class HiveExportTest : public ::testing::TestWithParam<ExportCase> {};

TEST_P(HiveExportTest, ReadsTheFileAndAChangeKeepsItsEncodingAndHeader) {
    const ExportCase& c = GetParam();
    auto doc = parsed(c.bytes);
    EXPECT_EQ(doc.encoding(), c.encoding);
    EXPECT_EQ(doc.find(kKey, c.name), c.value);
    EXPECT_EQ(doc.serialize(), c.bytes);

    // Setting what the file holds changes no byte; a new text goes in the file's encoding.
    ASSERT_TRUE(doc.set(kKey, c.name, c.value));
    EXPECT_EQ(doc.serialize(), c.bytes);
    ASSERT_TRUE(doc.set(kKey, "lastchm", RegValue::text("Plans à l'été")));
    ASSERT_TRUE(doc.set(kKey, "lines", RegValue::text("a\nb")));
    const std::string written = doc.serialize();
    const auto again = parsed(written);
    EXPECT_EQ(again.encoding(), c.encoding);
    EXPECT_EQ(again.isVersion5(), doc.isVersion5());
    EXPECT_EQ(again.find(kKey, c.name), c.value);
    EXPECT_EQ(again.find(kKey, "lastchm"), RegValue::text("Plans à l'été"));
    EXPECT_EQ(again.find(kKey, "lines"), RegValue::text("a\nb"));
    EXPECT_EQ(written.substr(0, 2), c.bytes.substr(0, 2));
}

const std::string kSection = "[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]";

INSTANTIATE_TEST_SUITE_P(
    Exports, HiveExportTest,
    ::testing::Values(
        ExportCase{"code page 1252",
                   "REGEDIT4\r\n\r\n" + kSection + "\r\n\"indexname\"=\"Plans \xE9t\xE9\"\r\n",
                   kvx::HiveEncoding::Windows1252, "indexname", RegValue::text("Plans été")},
        ExportCase{"code page 1252, bytes it leaves undefined",
                   "REGEDIT4\n" + kSection + "\n\"n\"=\"\x80\x81\x9D\xFF\"\n",
                   kvx::HiveEncoding::Windows1252, "n", RegValue::text("€\xC2\x81\xC2\x9Dÿ")},
        ExportCase{
            "Windows' export, UTF-16LE",
            utf16("Windows Registry Editor Version 5.00\r\n\r\n" + kSection +
                  "\r\n\"autoname\"=dword:00000001\r\n\"path\"=hex(2):43,00,3a,00,5c,00,\\\r\n"
                  "  e9,00,00,00\r\n\r\n"),
            kvx::HiveEncoding::Utf16le,
            "path",
            {kvx::RegExpandSz, std::string("C:\\é\0", 6)}},
        ExportCase{"Wine's export, a line break escaped",
                   utf16("Windows Registry Editor Version 5.00\n\n" + kSection +
                         "\n\"note\"=\"two\\nlines\\r\"\n"),
                   kvx::HiveEncoding::Utf16le, "note", RegValue::text("two\nlines\r")},
        ExportCase{"REGEDIT4 saved as UTF-16",
                   utf16("REGEDIT4\r\n" + kSection + "\r\n\"indexname\"=\"\xE9t\xE9\"\r\n"),
                   kvx::HiveEncoding::Utf16le, "indexname", RegValue::text("été")},
        ExportCase{"lines ended by CR alone, UTF-8",
                   "REGEDIT4\r" + kSection + "\r\"temp\"=\"4\"\r\"zoom\"=\"1\"\r\"by\"=\"Zoë\"\r",
                   kvx::HiveEncoding::Utf8, "zoom", RegValue::text("1")},
        ExportCase{"comments after values",
                   "\xEF\xBB\xBFREGEDIT4\n" + kSection +
                       "\n\"temp\"=\"4\" ; pace\n"
                       "\"autoname\"=dword:00000001;on\n\"b\"=hex:01,\\\n  02 ; two\n",
                   kvx::HiveEncoding::Utf8, "temp", RegValue::text("4")}));

TEST(HiveFormat, AFileOfAsciiTakesWindowsCodePageUnlessItLacksACharacter) {
    auto doc = parsed(kvxtest::hiveText({"\"temp\"=\"4\""}));
    ASSERT_TRUE(doc.set(kKey, "indexname", RegValue::text("Plans été")));
    EXPECT_EQ(doc.serialize(),
              kvxtest::hiveText({"\"temp\"=\"4\"", "\"indexname\"=\"Plans \xE9t\xE9\""}));
    auto greek = parsed(kvxtest::hiveText({"\"temp\"=\"4\""}));
    ASSERT_TRUE(greek.set(kKey, "indexname", RegValue::text("Ω été")));
    EXPECT_EQ(greek.serialize(), kvxtest::hiveText({"\"temp\"=\"4\"", "\"indexname\"=\"Ω été\""}));
}

TEST(HiveFormat, AChangedValueKeepsItsComment) {
    auto doc = parsed(kvxtest::hiveText({"\"temp\"=\"4\" ; slide pace"}));
    ASSERT_TRUE(doc.set(kKey, "temp", RegValue::text("9")));
    EXPECT_EQ(doc.serialize(), kvxtest::hiveText({"\"temp\"=\"9\" ; slide pace"}));
}

TEST(HiveFormat, AKeyDeletedLaterInTheFileIsGoneUntilItComesBack) {
    const std::string deleted = kvxtest::hiveText({"\"temp\"=\"4\""}) +
                                "[-HKEY_CURRENT_USER\\Software\\Stalwen]\r\n\"temp\"=\"5\"\r\n";
    auto doc = parsed(deleted);
    EXPECT_FALSE(doc.hasKey(kKey));
    EXPECT_FALSE(doc.find(kKey, "temp").has_value());
    EXPECT_FALSE(doc.set(kKey, "temp", RegValue::text("6")));

    auto back = parsed(deleted + kSection + "\r\n\"zoom\"=\"1\"\r\n");
    EXPECT_TRUE(back.hasKey(kKey));
    EXPECT_FALSE(back.find(kKey, "temp").has_value());
    ASSERT_TRUE(back.set(kKey, "temp", RegValue::text("6")));
    EXPECT_EQ(parsed(back.serialize()).find(kKey, "temp"), RegValue::text("6"));
    // A key whose name only begins like the deleted one stays.
    EXPECT_TRUE(
        parsed(kvxtest::hiveText({}) + "[-HKEY_CURRENT_USER\\Software\\Stal]\r\n").hasKey(kKey));
}

TEST(HiveFormat, TextTheFilesEncodingLacksIsRefused) {
    auto cp1252 = parsed("REGEDIT4\n" + kSection + "\n\"a\"=\"\xE9\"\n");
    EXPECT_FALSE(cp1252.set(kKey, "indexname", RegValue::text("Ω")));
    EXPECT_FALSE(cp1252.set(kKey, "lastchm", RegValue::text("/plans/caf\xE9.chm")));
    EXPECT_EQ(cp1252.serialize(), "REGEDIT4\n" + kSection + "\n\"a\"=\"\xE9\"\n");
    // Our own UTF-8 file keeps a path of other bytes as bytes.
    auto ours = parsed(kvxtest::hiveText({}));
    ASSERT_TRUE(ours.set(kKey, "lastchm", RegValue::text("/plans/caf\xE9.chm")));
    const auto again = parsed(ours.serialize());
    EXPECT_EQ(again.encoding(), kvx::HiveEncoding::Utf8);
    EXPECT_EQ(again.find(kKey, "lastchm"), RegValue::text("/plans/caf\xE9.chm"));
}

} // namespace
