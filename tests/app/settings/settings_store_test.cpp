#include "app/settings/settings_store.h"

#include "app/settings/startup_entry.h"
#include "settings_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

using kvx::SettingsStore;

class SettingsStoreTest : public ::testing::Test {
protected:
    kvxtest::TempDir dir;
    std::string hive = dir / "Korvenix31.reg";

    SettingsStore openStore(const std::vector<std::string>& lines) {
        kvxtest::writeFile(hive, kvxtest::hiveText(lines));
        SettingsStore store(hive);
        EXPECT_TRUE(store.open()) << store.openProblem();
        return store;
    }
};

enum class Outcome { Value, ReadError, TypeError };

struct TextCase {
    const char* line;
    Outcome outcome;
    const char* text;
};

class ReadTextTest : public SettingsStoreTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ReadTextTest, TextTypesOnly) {
    const auto store = openStore({GetParam().line});
    try {
        EXPECT_EQ(store.readText("temp"), GetParam().text) << GetParam().line;
        EXPECT_EQ(GetParam().outcome, Outcome::Value) << GetParam().line;
    } catch (const kvx::SettingsTypeError& e) {
        EXPECT_EQ(GetParam().outcome, Outcome::TypeError) << GetParam().line;
        EXPECT_STREQ(e.what(), "Type de données incorrect pour 'temp'");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadTextTest,
    ::testing::Values(TextCase{"\"temp\"=\"7\"", Outcome::Value, "7"},
                      TextCase{"\"temp\"=\"\"", Outcome::Value, ""},
                      TextCase{"\"other\"=\"7\"", Outcome::Value, ""},
                      TextCase{"\"temp\"=hex(2):35,00", Outcome::Value, "5"},
                      TextCase{"\"temp\"=hex(1):61,00,62,00", Outcome::Value, "a"},
                      TextCase{"\"temp\"=dword:00000007", Outcome::TypeError, ""},
                      TextCase{"\"temp\"=hex:37", Outcome::TypeError, ""},
                      TextCase{"\"temp\"=hex(7):37,00,00", Outcome::TypeError, ""}));

struct BoolCase {
    const char* line;
    Outcome outcome;
    bool on;
};

class ReadBoolTest : public SettingsStoreTest, public ::testing::WithParamInterface<BoolCase> {};

TEST_P(ReadBoolTest, DwordOnly) {
    const auto store = openStore({GetParam().line});
    try {
        EXPECT_EQ(store.readBool("autoname"), GetParam().on) << GetParam().line;
        EXPECT_EQ(GetParam().outcome, Outcome::Value) << GetParam().line;
    } catch (const kvx::SettingsReadError& e) {
        EXPECT_EQ(GetParam().outcome, Outcome::ReadError) << GetParam().line;
        const std::string text = e.what();
        EXPECT_EQ(text.substr(0, text.find('\n')),
                  "Echec à l'obtention des données pour 'autoname'");
    } catch (const kvx::SettingsTypeError& e) {
        EXPECT_EQ(GetParam().outcome, Outcome::TypeError) << GetParam().line;
        EXPECT_STREQ(e.what(), "Type de données incorrect pour 'autoname'");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadBoolTest,
    ::testing::Values(BoolCase{"\"autoname\"=dword:00000000", Outcome::Value, false},
                      BoolCase{"\"autoname\"=dword:00000001", Outcome::Value, true},
                      BoolCase{"\"autoname\"=dword:00000100", Outcome::Value, true},
                      BoolCase{"\"autoname\"=hex(4):00,00,00,80", Outcome::Value, true},
                      BoolCase{"\"bigimage\"=dword:00000001", Outcome::ReadError, false},
                      BoolCase{"\"autoname\"=hex(4):01,00,00,00,00", Outcome::ReadError, false},
                      BoolCase{"\"autoname\"=\"1\"", Outcome::TypeError, false},
                      BoolCase{"\"autoname\"=hex(5):00,00,00,01", Outcome::TypeError, false}));

TEST_F(SettingsStoreTest, WritesGiveTheStoredForms) {
    auto store = openStore({"\"autoname\"=dword:00000001"});
    store.writeTextFlag("supp", true);
    store.writeTextFlag("ontop", false);
    store.writeText("temp", "12");
    store.writeText("indexname", "");
    store.writeDword("autoname", 0);
    store.writeDword("bigimage", 1);
    store.writeText("lastchm", "/home/u/Plans/index \"2\".chm");
    EXPECT_EQ(
        kvxtest::readFile(hive),
        kvxtest::hiveText({"\"autoname\"=dword:00000000", "\"supp\"=\"1\"", "\"ontop\"=\"0\"",
                           "\"temp\"=\"12\"", "\"indexname\"=\"\"", "\"bigimage\"=dword:00000001",
                           "\"lastchm\"=\"/home/u/Plans/index \\\"2\\\".chm\""}));
}

TEST_F(SettingsStoreTest, ASettingInWindowsCodePageReadsAsItsTextAndKeepsTheCodePage) {
    const std::string exported =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n"
        "\"autoname\"=dword:00000000\r\n"
        "\"indexname\" = \"Plans \xE9t\xE9\"\r\n";
    kvxtest::writeFile(hive, exported);
    SettingsStore store(hive);
    ASSERT_TRUE(store.open()) << store.openProblem();
    EXPECT_EQ(store.readText("indexname"), "Plans été");
    // The same text again changes no byte, not even the blanks around "=".
    store.writeText("indexname", "Plans été");
    EXPECT_EQ(kvxtest::readFile(hive), exported);
    store.writeText("indexname", "Plans à l'œil");
    std::string expected = exported;
    expected.replace(expected.find("\"indexname\""), std::string::npos,
                     "\"indexname\"=\"Plans \xE0 l'\x9Cil\"\r\n");
    EXPECT_EQ(kvxtest::readFile(hive), expected);
    EXPECT_EQ(store.readText("indexname"), "Plans à l'œil");
    // A text the code page cannot hold is refused, the file as it was.
    EXPECT_THROW(store.writeText("indexname", "Ω"), kvx::SettingsWriteError);
    EXPECT_EQ(kvxtest::readFile(hive), expected);
}

TEST_F(SettingsStoreTest, MissingKeyReadsEmptyFailsBooleansAndWrites) {
    const struct {
        const char* what;
        std::optional<std::string> content;
    } cases[] = {{"no hive", std::nullopt},
                 {"damaged hive", std::string("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Stalwen\\"
                                              "Korvenix31]\n\"temp\"=\"7\n")},
                 {"other key", std::string("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Other]\n")}};
    for (const auto& c : cases) {
        ::unlink(hive.c_str());
        if (c.content)
            kvxtest::writeFile(hive, *c.content);
        SettingsStore store(hive);
        EXPECT_FALSE(store.open()) << c.what;
        EXPECT_FALSE(store.openProblem().empty()) << c.what;
        EXPECT_EQ(store.readText("temp"), "") << c.what;
        // The start-up box says which file and what is wrong with it, below its own text.
        try {
            store.readBool("autoname");
            ADD_FAILURE() << c.what;
        } catch (const kvx::SettingsReadError& e) {
            const std::string text = e.what();
            const std::size_t lineBreak = text.find('\n');
            EXPECT_EQ(text.substr(0, lineBreak), "Echec à l'obtention des données pour 'autoname'");
            EXPECT_NE(text.find("'" + hive + "'", lineBreak), std::string::npos) << text;
        }
        try {
            store.writeText("temp", "12");
            ADD_FAILURE() << c.what;
        } catch (const kvx::SettingsWriteError& e) {
            EXPECT_STREQ(e.what(), "Echec à la définition des données pour 'temp'");
        }
        EXPECT_THROW(store.writeTextFlag("supp", true), kvx::SettingsWriteError) << c.what;
        EXPECT_THROW(store.writeDword("autoname", 1), kvx::SettingsWriteError) << c.what;
        EXPECT_EQ(kvxtest::readFile(hive), c.content) << c.what;
    }
}

// What start-up reads from a key and the control states it gives.
struct StartupCase {
    std::vector<std::string> lines;
    kvx::StartupControlStates states;
};

class StartupStatesTest : public SettingsStoreTest,
                          public ::testing::WithParamInterface<StartupCase> {};

TEST_P(StartupStatesTest, FromTheStoredTexts) {
    const auto store = openStore(GetParam().lines);
    const auto s = kvx::startupControlStates(kvx::readStartupTexts(store));
    const auto& e = GetParam().states;
    EXPECT_EQ(s.checkBox4, e.checkBox4);
    EXPECT_EQ(s.checkBox5, e.checkBox5);
    EXPECT_EQ(s.checkBox6, e.checkBox6);
    EXPECT_EQ(s.checkBox3, e.checkBox3);
    EXPECT_EQ(s.trackBar1, e.trackBar1);
    EXPECT_EQ(s.checkBox1, e.checkBox1);
    EXPECT_EQ(s.checkBox2, e.checkBox2);
    EXPECT_EQ(s.radioButton2, e.radioButton2);
}

kvx::StartupControlStates states(int trackBar, bool cb1 = false, bool cb2 = false, bool rb2 = false,
                                 bool cb4 = false, bool cb3 = false) {
    kvx::StartupControlStates s;
    s.trackBar1 = trackBar;
    s.checkBox1 = cb1;
    s.checkBox2 = cb2;
    s.radioButton2 = rb2;
    s.checkBox4 = cb4;
    s.checkBox3 = cb3;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, StartupStatesTest,
    ::testing::Values(
        StartupCase{{"\"autoname\"=dword:00000000", "\"bigimage\"=dword:00000000"}, states(1)},
        StartupCase{{"\"temp\"=\"7\""}, states(7)}, StartupCase{{"\"temp\"=\"25\""}, states(20)},
        StartupCase{{"\"temp\"=\"abc\""}, states(1)}, StartupCase{{"\"temp\"=\" 3x\""}, states(3)},
        StartupCase{{"\"ontop\"=\"01\""}, states(1, false, true)},
        StartupCase{{"\"effhtml\"=\"01\""}, states(1)},
        StartupCase{{"\"effhtml\"=\"1\"", "\"zoom\"=\"1\""},
                    states(1, false, false, false, true, true)},
        StartupCase{{"\"supp\"=\"$1\"", "\"ouvre\"=\"-1\""}, states(1, true, false, true)},
        StartupCase{{"\"ouvre\"=\"2\"", "\"supp\"=\"0x01\""}, states(1, true)}));

// A read-only hive is a key without full access: the mode bits decide, so this holds for root.
TEST_F(SettingsStoreTest, ReadOnlyHiveGivesTheWriteErrorAndStaysAsItWas) {
    const std::string text = kvxtest::hiveText({"\"temp\"=\"7\"", "\"autoname\"=dword:00000000"});
    for (const bool openedFirst : {false, true}) {
        kvxtest::writeFile(hive, text);
        SettingsStore store(hive);
        if (openedFirst) {
            ASSERT_TRUE(store.open()) << store.openProblem();
        }
        ASSERT_EQ(::chmod(hive.c_str(), 0444), 0);
        if (!openedFirst) {
            EXPECT_FALSE(store.open());
        }
        EXPECT_THROW(store.writeText("temp", "12"), kvx::SettingsWriteError) << openedFirst;
        EXPECT_THROW(store.writeText("indexname", "x"), kvx::SettingsWriteError) << openedFirst;
        EXPECT_THROW(store.writeDword("autoname", 1), kvx::SettingsWriteError) << openedFirst;
        EXPECT_EQ(kvxtest::readFile(hive), text) << openedFirst;
        struct stat st {};
        ASSERT_EQ(::stat(hive.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0444u);
        ::unlink(hive.c_str());
    }
}

// A copy stopped while it holds the lock must not freeze this one: the write gives up.
TEST_F(SettingsStoreTest, LockHeldElsewhereGivesTheWriteErrorThenWritesAgain) {
    SettingsStore store = openStore({"\"temp\"=\"7\""});
    const std::string before = *kvxtest::readFile(hive);
    const int other = ::open((hive + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_THROW(store.writeText("temp", "12"), kvx::SettingsWriteError);
    EXPECT_EQ(kvxtest::readFile(hive), before);
    ::close(other);
    store.writeText("temp", "12");
    EXPECT_EQ(kvxtest::readFile(hive), kvxtest::hiveText({"\"temp\"=\"12\""}));
}

TEST_F(SettingsStoreTest, StartupTextsStopAtTheFirstNonTextValue) {
    const auto store =
        openStore({"\"ontop\"=\"1\"", "\"lastchm\"=dword:00000001", "\"zoom\"=hex:01"});
    try {
        kvx::readStartupTexts(store);
        ADD_FAILURE() << "no type error";
    } catch (const kvx::SettingsTypeError& e) {
        EXPECT_EQ(e.valueName(), "lastchm");
    }
}

TEST_F(SettingsStoreTest, LaunchAtStartupWritesTheEntryThenStart) {
    kvxtest::TempDir config;
    kvxtest::EnvOverride configHome("XDG_CONFIG_HOME", config.path().c_str());
    const std::string entry = config / "autostart/korvenix31.desktop";
    auto store = openStore({"\"start\"=\"0\""});

    kvx::storeLaunchAtStartup(store, true, "/usr/bin/korvenix31");
    EXPECT_EQ(kvxtest::readFile(entry), kvx::startupEntryText("/usr/bin/korvenix31"));
    EXPECT_EQ(kvxtest::readFile(hive), kvxtest::hiveText({"\"start\"=\"1\""}));

    kvx::storeLaunchAtStartup(store, false, "/usr/bin/korvenix31");
    EXPECT_FALSE(kvxtest::readFile(entry).has_value());
    EXPECT_EQ(kvxtest::readFile(hive), kvxtest::hiveText({"\"start\"=\"0\""}));
}

TEST_F(SettingsStoreTest, UnwritableEntryLeavesStartAsItWas) {
    kvxtest::TempDir config;
    kvxtest::writeFile(config / "plain-file", "x");
    kvxtest::EnvOverride configHome("XDG_CONFIG_HOME", (config / "plain-file").c_str());
    auto store = openStore({"\"start\"=\"0\""});
    try {
        kvx::storeLaunchAtStartup(store, true, "/usr/bin/korvenix31");
        ADD_FAILURE() << "no write error";
    } catch (const kvx::SettingsWriteError& e) {
        EXPECT_EQ(e.valueName(), "Korvenix 3.1");
    }
    EXPECT_EQ(kvxtest::readFile(hive), kvxtest::hiveText({"\"start\"=\"0\""}));
}

TEST_F(SettingsStoreTest, UncheckingStoresStartEvenWhenTheEntryCannotGo) {
    kvxtest::TempDir config;
    // A folder where the entry file should be cannot be removed as a file.
    ::mkdir((config / "autostart").c_str(), 0755);
    ::mkdir((config / "autostart/korvenix31.desktop").c_str(), 0755);
    kvxtest::writeFile(config / "autostart/korvenix31.desktop/x", "x");
    kvxtest::EnvOverride configHome("XDG_CONFIG_HOME", config.path().c_str());
    auto store = openStore({"\"start\"=\"1\""});
    kvx::storeLaunchAtStartup(store, false, "/usr/bin/korvenix31");
    EXPECT_EQ(kvxtest::readFile(hive), kvxtest::hiveText({"\"start\"=\"0\""}));
}

TEST_F(SettingsStoreTest, LaunchAtStartupWithoutTheKeyReportsStart) {
    kvxtest::TempDir config;
    kvxtest::EnvOverride configHome("XDG_CONFIG_HOME", config.path().c_str());
    SettingsStore store(hive);
    ASSERT_FALSE(store.open());
    try {
        kvx::storeLaunchAtStartup(store, true, "/usr/bin/korvenix31");
        ADD_FAILURE() << "no write error";
    } catch (const kvx::SettingsWriteError& e) {
        EXPECT_EQ(e.valueName(), "start");
    }
    EXPECT_TRUE(kvxtest::readFile(config / "autostart/korvenix31.desktop").has_value());
}

TEST(SettingsHivePath, FollowsXdgConfigHome) {
    const struct {
        const char* configHome;
        const char* home;
        std::string path;
    } cases[] = {
        {"/tmp/cfg", "/home/u", "/tmp/cfg/Stalwen/Korvenix31.reg"},
        {nullptr, "/home/u", "/home/u/.config/Stalwen/Korvenix31.reg"},
        {"", "/home/u", "/home/u/.config/Stalwen/Korvenix31.reg"},
        {"relative/cfg", "/home/u", "/home/u/.config/Stalwen/Korvenix31.reg"},
    };
    for (const auto& c : cases) {
        kvxtest::EnvOverride configHome("XDG_CONFIG_HOME", c.configHome);
        kvxtest::EnvOverride home("HOME", c.home);
        EXPECT_EQ(kvx::settingsHivePath(), c.path);
    }
}

} // namespace
