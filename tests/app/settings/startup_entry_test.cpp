#include "app/settings/startup_entry.h"

#include "app/settings/settings_errors.h"
#include "settings_test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(StartupEntry, LivesInTheUsersOwnConfigFolder) {
    const struct {
        const char* configHome; // nullptr: unset
        std::string path;
    } cases[] = {
        {"/tmp/cfg", "/tmp/cfg/autostart/korvenix31.desktop"},
        {nullptr, "/home/u/.config/autostart/korvenix31.desktop"},
        {"", "/home/u/.config/autostart/korvenix31.desktop"},
        {"relative/cfg", "/home/u/.config/autostart/korvenix31.desktop"},
    };
    // The system-wide folders play no part any more.
    kvxtest::EnvOverride dirs("XDG_CONFIG_DIRS", "/opt/a:/etc/xdg");
    kvxtest::EnvOverride home("HOME", "/home/u");
    for (const auto& c : cases) {
        kvxtest::EnvOverride configHome("XDG_CONFIG_HOME", c.configHome);
        EXPECT_EQ(kvx::startupEntryPath(), c.path) << (c.configHome ? c.configHome : "(unset)");
    }
}

TEST(StartupEntry, ExecQuotesThePathOnlyWhenItMustBe) {
    const struct {
        std::string path;
        std::string exec;
    } cases[] = {
        {"/usr/bin/korvenix31", "/usr/bin/korvenix31"},
        {"/opt/My Apps/korvenix31", "\"/opt/My Apps/korvenix31\""},
        {"/opt/a\"b/k", "\"/opt/a\\\\\"b/k\""},
        {"/opt/a\\b/k", "\"/opt/a\\\\\\\\b/k\""},
        {"/opt/$HOME/k", "\"/opt/\\\\$HOME/k\""},
        {"/opt/`x`/k", "\"/opt/\\\\`x\\\\`/k\""},
        {"/opt/it's/k", "\"/opt/it's/k\""},
        {"/opt/100%/k", "/opt/100%%/k"},
        {"/opt/two\nlines/k", "\"/opt/two\\nlines/k\""},
        {"/opt/été/k", "/opt/été/k"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kvx::desktopExecArgument(c.path), c.exec) << c.path;
}

class StartupEntryFiles : public ::testing::Test {
protected:
    kvxtest::TempDir dir;
};

TEST_F(StartupEntryFiles, WriteAndDeleteInAWritableFolder) {
    kvxtest::EnvOverride configHome("XDG_CONFIG_HOME", dir.path().c_str());
    const std::string entry = dir / "autostart/korvenix31.desktop";
    kvx::writeStartupEntry("/opt/Korvenix 3.1/bin/korvenix31");
    EXPECT_EQ(kvxtest::readFile(entry), std::string("[Desktop Entry]\n"
                                                    "Type=Application\n"
                                                    "Name=Korvenix 3.1\n"
                                                    "Exec=\"/opt/Korvenix 3.1/bin/korvenix31\" -w\n"
                                                    "Icon=korvenix31\n"
                                                    "Terminal=false\n"));
    struct stat st {};
    ASSERT_EQ(::stat(entry.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    kvx::writeStartupEntry("/usr/bin/korvenix31"); // a moved program rewrites its entry
    const auto text = kvxtest::readFile(entry);
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find("\nExec=/usr/bin/korvenix31 -w\n"), std::string::npos) << *text;

    EXPECT_TRUE(kvx::deleteStartupEntry());
    EXPECT_FALSE(kvxtest::readFile(entry).has_value());
    EXPECT_TRUE(kvx::deleteStartupEntry()); // missing is no failure
}

// A fresh account may have neither its configuration folder nor the autostart folder in it.
TEST_F(StartupEntryFiles, MissingFoldersAreMade) {
    const std::string configHome = dir / "no-config";
    kvxtest::EnvOverride env("XDG_CONFIG_HOME", configHome.c_str());
    kvx::writeStartupEntry("/usr/bin/korvenix31");
    EXPECT_EQ(kvxtest::readFile(configHome + "/autostart/korvenix31.desktop"),
              kvx::startupEntryText("/usr/bin/korvenix31"));
    struct stat st {};
    ASSERT_EQ(::stat(configHome.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((configHome + "/autostart").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
}

// Tests run as root, for whom permission bits do not stop a write; these folders cannot be
// written by anyone because something in the path is not a folder.
TEST_F(StartupEntryFiles, UnwritableFolderGivesTheWriteErrorForTheEntry) {
    kvxtest::writeFile(dir / "plain-file", "not a folder");
    ::mkdir((dir / "has-file-autostart").c_str(), 0755);
    kvxtest::writeFile(dir / "has-file-autostart/autostart", "not a folder");
    ::mkdir((dir / "entry-is-folder").c_str(), 0755);
    ::mkdir((dir / "entry-is-folder/autostart").c_str(), 0755);
    ::mkdir((dir / "entry-is-folder/autostart/korvenix31.desktop").c_str(), 0755);
    const std::string folders[] = {dir / "plain-file/sub", dir / "plain-file",
                                   dir / "has-file-autostart", dir / "entry-is-folder",
                                   dir / "missing/parent"};
    for (const auto& folder : folders) {
        kvxtest::EnvOverride configHome("XDG_CONFIG_HOME", folder.c_str());
        try {
            kvx::writeStartupEntry("/usr/bin/korvenix31");
            ADD_FAILURE() << "no error for " << folder;
        } catch (const kvx::SettingsWriteError& e) {
            EXPECT_STREQ(e.what(), "Echec à la définition des données pour 'Korvenix 3.1'");
            EXPECT_EQ(e.valueName(), "Korvenix 3.1");
        }
    }
    EXPECT_EQ(kvxtest::readFile(dir / "plain-file"), std::string("not a folder"));
    EXPECT_EQ(kvxtest::folderNames(dir / "entry-is-folder/autostart").size(), 1u);
}

} // namespace
