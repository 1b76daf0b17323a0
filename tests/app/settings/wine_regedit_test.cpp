// A settings round trip through Wine's registry editor: a file the program wrote is imported
// and exported by regedit with the same values, its UTF-16LE export reads in the program with
// the same values, and a value the program changes there is read back by regedit. Skipped
// where Wine is not installed; every Wine run is bounded in time.

#include "app/settings/registry_key.h"
#include "app/settings/settings_store.h"
#include "settings_test_support.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t colon = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, colon - start) + "/" + program;
        if (colon > start && ::access(candidate.c_str(), X_OK) == 0)
            return true;
        start = colon + 1;
    }
    return false;
}

class WineRegedit : public ::testing::Test {
protected:
    kvxtest::TempDir dir;
    // Wine's own folder in the test's, and no window: regedit /S and /E need none.
    kvxtest::EnvOverride prefix{"WINEPREFIX", (dir.path() + "/prefix").c_str()};
    kvxtest::EnvOverride quiet{"WINEDEBUG", "-all"};
    kvxtest::EnvOverride noMono{"WINEDLLOVERRIDES", "mscoree,mshtml="};
    kvxtest::EnvOverride noDisplay{"DISPLAY", nullptr};
    kvxtest::EnvOverride noWayland{"WAYLAND_DISPLAY", nullptr};

    void SetUp() override {
        if (!onPath("wine") || !onPath("wineserver"))
            GTEST_SKIP() << "Wine is not installed";
    }
    void TearDown() override {
        if (onPath("wineserver"))
            run({"wineserver", "-k"}, 60);
    }

    // Runs `argv` in the test folder with its output discarded; false when it fails or
    // takes longer than `seconds` (it is then killed).
    bool run(const std::vector<std::string>& argv, int seconds) {
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        // A group of its own, so that a timeout ends whatever it started too.
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t pid = 0;
        const int failed =
            ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (failed != 0)
            return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(-pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                ADD_FAILURE() << argv[0] << " " << argv[1] << " took over " << seconds << " s";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    bool regedit(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{"wine", "regedit"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        // The first run makes Wine's folder: tens of seconds on a slow machine.
        return run(argv, 300);
    }

    std::string exportKey(const std::string& name) {
        const std::string file = dir / name;
        EXPECT_TRUE(regedit({"/E", file, kvx::kSettingsKeyPath}));
        return file;
    }
};

// What the program stores, in every form it writes.
struct Stored {
    std::vector<std::pair<std::string, std::string>> texts;
    std::vector<std::pair<std::string, bool>> flags;
};

Stored writeSettings(kvx::SettingsStore& store) {
    Stored s;
    s.texts = {{"temp", "12"},
               {"supp", "1"},
               {"ouvre", "0"},
               {"indexname", "Plans à l'été"},
               {"lastchm", "/home/u/Plans \"A\"\\été/Plans.chm"},
               {"path", "C:\\Program Files\\Korvenix"}};
    for (const auto& [name, text] : s.texts)
        store.writeText(name, text);
    s.flags = {{"autoname", true}, {"bigimage", false}};
    for (const auto& [name, on] : s.flags)
        store.writeDword(name, on ? 1 : 0);
    return s;
}

void expectValues(const std::string& hive, const Stored& s) {
    kvx::SettingsStore store(hive);
    ASSERT_TRUE(store.open()) << store.openProblem();
    for (const auto& [name, text] : s.texts)
        EXPECT_EQ(store.readText(name), text) << name;
    for (const auto& [name, on] : s.flags)
        EXPECT_EQ(store.readBool(name), on) << name;
}

TEST_F(WineRegedit, SettingsGoThroughRegeditAndBackWithTheSameValues) {
    const std::string ours = dir / "Korvenix31.reg";
    kvxtest::writeFile(
        ours, kvxtest::hiveText({"\"autoname\"=dword:00000000", "\"bigimage\"=dword:00000000"}));
    kvx::SettingsStore store(ours);
    ASSERT_TRUE(store.open()) << store.openProblem();
    const Stored values = writeSettings(store);
    // A text with a line break goes as bytes of its type, which regedit reads too.
    kvx::RegistryKey key;
    ASSERT_EQ(key.open(ours, kvx::kSettingsKeyPath), kvx::RegStatus::Ok);
    ASSERT_EQ(key.setString("note", "two\nlines"), kvx::RegStatus::Ok);

    ASSERT_TRUE(regedit({"/S", ours}));
    const std::string exported = exportKey("exported.reg");
    const auto bytes = kvxtest::readFile(exported);
    ASSERT_TRUE(bytes.has_value());
    // Wine writes what Windows' editor writes: UTF-16LE with its byte-order mark.
    ASSERT_EQ(bytes->substr(0, 2), "\xFF\xFE");
    expectValues(exported, values);
    kvx::RegistryKey back;
    ASSERT_EQ(back.open(exported, kvx::kSettingsKeyPath), kvx::RegStatus::Ok);
    kvx::RegValue note;
    ASSERT_EQ(back.query("note", note), kvx::RegStatus::Ok);
    EXPECT_EQ(note, kvx::RegValue::text("two\nlines"));

    // The program changes a value in that export; the file stays one regedit reads.
    Stored changed = values;
    changed.texts[0].second = "5";
    changed.texts[3].second = "Plans où l'on œuvre";
    {
        kvx::SettingsStore exportStore(exported);
        ASSERT_TRUE(exportStore.open()) << exportStore.openProblem();
        exportStore.writeText("temp", "5");
        exportStore.writeText("indexname", "Plans où l'on œuvre");
    }
    EXPECT_EQ(kvxtest::readFile(exported)->substr(0, 2), "\xFF\xFE");
    ASSERT_TRUE(regedit({"/S", exported}));
    expectValues(exportKey("again.reg"), changed);
}

} // namespace
