#include "app/settings/registry_key.h"
#include "app/settings/settings_store.h"

#include "settings_test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

using kvx::ImportResult;

const std::string kDefaultKey = "REGEDIT4\r\n\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n"
                                "\"autoname\"=dword:00000000\r\n"
                                "\"bigimage\"=dword:00000000\r\n"
                                "\"path\"=\"/usr/lib/korvenix31/tools\"\r\n\r\n";

TEST(ImportKeyIfMissing, OnlyAMissingKeyIsImported) {
    const struct {
        const char* what;
        std::optional<std::string> before;
        ImportResult result;
        std::optional<std::string> after;
    } cases[] = {
        {"no hive", std::nullopt, ImportResult::Imported, kDefaultKey},
        {"key there", kvxtest::hiveText({"\"temp\"=\"9\""}), ImportResult::AlreadyThere,
         kvxtest::hiveText({"\"temp\"=\"9\""})},
        {"key there without Booleans", kvxtest::hiveText({}), ImportResult::AlreadyThere,
         kvxtest::hiveText({})},
        {"damaged", std::string("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31"),
         ImportResult::Damaged,
         std::string("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31")},
        {"not a hive at all",
         std::string("\x7f"
                     "ELF\x02\x01"),
         ImportResult::Damaged,
         std::string("\x7f"
                     "ELF\x02\x01")},
        {"other keys only", std::string("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n"),
         ImportResult::Imported,
         "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n" + kDefaultKey.substr(10)},
    };
    for (const auto& c : cases) {
        kvxtest::TempDir dir;
        const std::string hive = dir / "Stalwen/Korvenix31.reg";
        if (c.before) {
            ::mkdir((dir / "Stalwen").c_str(), 0700);
            kvxtest::writeFile(hive, *c.before);
        }
        std::string problem;
        EXPECT_EQ(kvx::importKeyIfMissing(hive, kvx::kSettingsKeyPath, kDefaultKey, problem),
                  c.result)
            << c.what << ": " << problem;
        EXPECT_EQ(kvxtest::readFile(hive), c.after) << c.what;
    }
}

TEST(ImportKeyIfMissing, UnusableDefaultKeyCreatesNothing) {
    const std::string texts[] = {
        "", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n"
        "\"path\"=\"C:\\Tools\"\r\n"};
    for (const auto& text : texts) {
        kvxtest::TempDir dir;
        const std::string hive = dir / "Korvenix31.reg";
        std::string problem;
        EXPECT_EQ(kvx::importKeyIfMissing(hive, kvx::kSettingsKeyPath, text, problem),
                  ImportResult::Failed);
        EXPECT_FALSE(problem.empty());
        EXPECT_FALSE(kvxtest::readFile(hive).has_value());
    }
}

TEST(DefaultKeyFile, HoldsTheBooleansTheToolFolderConfirmationAndPace) {
    auto text = kvxtest::readFile(KVX_DEFAULT_KEY_TEMPLATE);
    ASSERT_TRUE(text.has_value());
    const std::string marker = "@KVX_TOOL_FOLDER_REG@";
    ASSERT_NE(text->find(marker), std::string::npos);
    text->replace(text->find(marker), marker.size(), "/opt/k\\\\31/tools");
    kvx::HiveParseError error;
    const auto doc = kvx::HiveDocument::parse(*text, error);
    ASSERT_TRUE(doc.has_value()) << error.describe();
    EXPECT_EQ(doc->find(kvx::kSettingsKeyPath, "autoname"), kvx::RegValue::dword(0));
    EXPECT_EQ(doc->find(kvx::kSettingsKeyPath, "bigimage"), kvx::RegValue::dword(0));
    EXPECT_EQ(doc->find(kvx::kSettingsKeyPath, "path"), kvx::RegValue::text("/opt/k\\31/tools"));
    // A fresh installation asks before the first Erase.
    EXPECT_EQ(doc->find(kvx::kSettingsKeyPath, "supp"), kvx::RegValue::text("1"));
    // The slide show starts at the track bar's own position, not at its fastest.
    EXPECT_EQ(doc->find(kvx::kSettingsKeyPath, "temp"), kvx::RegValue::text("4"));
}

// Runs the setup command with XDG_CONFIG_HOME set to `configHome`; gives its exit status.
int runSetup(const std::string& configHome, std::vector<std::string> args) {
    kvxtest::EnvOverride env("XDG_CONFIG_HOME", configHome.c_str());
    args.insert(args.begin(), KVX_SETUP_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(126);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SetupCommand, CreatesTheKeyOnceAndLeavesAnyHiveAlone) {
    kvxtest::TempDir dir;
    const std::string keyFile = dir / "default.reg";
    kvxtest::writeFile(keyFile, kDefaultKey);
    const std::string configHome = dir / "config";
    const std::string hive = configHome + "/Stalwen/Korvenix31.reg";

    EXPECT_EQ(runSetup(configHome, {"--key", keyFile}), 0);
    EXPECT_EQ(kvxtest::readFile(hive), kDefaultKey);

    kvxtest::writeFile(hive, kvxtest::hiveText({"\"temp\"=\"9\""}));
    EXPECT_EQ(runSetup(configHome, {"--key", keyFile}), 0);
    EXPECT_EQ(kvxtest::readFile(hive), kvxtest::hiveText({"\"temp\"=\"9\""}));

    kvxtest::writeFile(hive, "REGEDIT4\r\n\"half");
    EXPECT_EQ(runSetup(configHome, {"--key", keyFile}), 2);
    EXPECT_EQ(kvxtest::readFile(hive), std::string("REGEDIT4\r\n\"half"));

    EXPECT_EQ(runSetup(configHome, {"--key", dir / "missing.reg"}), 1);
    EXPECT_EQ(runSetup(configHome, {"--bogus"}), 1);
}

TEST(SetupCommand, RunsTheProgramAfterwardsWhateverTheOutcome) {
    kvxtest::TempDir dir;
    const std::string keyFile = dir / "default.reg";
    kvxtest::writeFile(keyFile, kDefaultKey);
    const std::string configHome = dir / "config";
    EXPECT_EQ(runSetup(configHome, {"--key", keyFile, "--", "/bin/sh", "-c", "exit 7"}), 7);
    EXPECT_EQ(kvxtest::readFile(configHome + "/Stalwen/Korvenix31.reg"), kDefaultKey);
    EXPECT_EQ(runSetup(configHome, {"--key", dir / "missing.reg", "--", "/bin/sh", "-c", "exit 5"}),
              5);
}

} // namespace
