#include "app/settings/registry_key.h"
#include "files/atomic_file.h"

#include "settings_test_support.h"

#include <csignal>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>

namespace {

using kvx::RegistryKey;
using kvx::RegStatus;
using kvx::RegValue;

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31";

std::string valueName(int writer, int n) {
    return "w" + std::to_string(writer) + "_" + std::to_string(n);
}

// Values of the settings key as a fresh reader sees them, or nothing if it cannot be read.
std::optional<kvx::HiveDocument> reread(const std::string& hive) {
    const auto bytes = kvxtest::readFile(hive);
    kvx::HiveParseError error;
    if (!bytes)
        return std::nullopt;
    return kvx::HiveDocument::parse(*bytes, error);
}

TEST(RegistryKey, OpensOnlyAnExistingReadableKey) {
    kvxtest::TempDir dir;
    const struct {
        const char* what;
        std::optional<std::string> content; // nothing: no file at all
        bool opens;
    } cases[] = {
        {"no file", std::nullopt, false},
        {"empty file", std::string(), false},
        {"other key only", std::string("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Other]\n"), false},
        {"damaged", kvxtest::hiveText({"\"temp\"=\"4"}), false},
        {"key without values", kvxtest::hiveText({}), true},
        {"key with values", kvxtest::hiveText({"\"temp\"=\"4\""}), true},
    };
    for (const auto& c : cases) {
        const std::string hive = dir / "Korvenix31.reg";
        ::unlink(hive.c_str());
        if (c.content)
            kvxtest::writeFile(hive, *c.content);
        RegistryKey key;
        EXPECT_EQ(key.open(hive, kKey) == RegStatus::Ok, c.opens) << c.what;
        EXPECT_EQ(key.isOpen(), c.opens) << c.what;
        EXPECT_EQ(kvxtest::readFile(hive), c.content) << c.what;
    }
}

TEST(RegistryKey, SetAndQueryGoThroughTheFile) {
    kvxtest::TempDir dir;
    const std::string hive = dir / "Korvenix31.reg";
    kvxtest::writeFile(hive, kvxtest::hiveText({"\"keep\"=hex(7):61,00,00,00"}));
    RegistryKey key;
    ASSERT_EQ(key.open(hive, kKey), RegStatus::Ok);
    ASSERT_EQ(key.setString("temp", "12"), RegStatus::Ok);
    ASSERT_EQ(key.setDword("autoname", 1), RegStatus::Ok);
    EXPECT_EQ(kvxtest::readFile(hive),
              kvxtest::hiveText({"\"keep\"=hex(7):61,00,00,00", "\"temp\"=\"12\"",
                                 "\"autoname\"=dword:00000001"}));
    RegValue value;
    ASSERT_EQ(key.query("autoname", value), RegStatus::Ok);
    EXPECT_EQ(value, RegValue::dword(1));
    EXPECT_EQ(key.query("gone", value), RegStatus::NotFound);
}

TEST(RegistryKey, SeesValuesWrittenByAnotherCopy) {
    kvxtest::TempDir dir;
    const std::string hive = dir / "Korvenix31.reg";
    kvxtest::writeFile(hive, kvxtest::hiveText({}));
    RegistryKey first;
    RegistryKey second;
    ASSERT_EQ(first.open(hive, kKey), RegStatus::Ok);
    ASSERT_EQ(second.open(hive, kKey), RegStatus::Ok);
    ASSERT_EQ(first.setString("lastchm", "/plans/a.chm"), RegStatus::Ok);
    ASSERT_EQ(second.setString("temp", "3"), RegStatus::Ok);
    RegValue value;
    ASSERT_EQ(second.query("lastchm", value), RegStatus::Ok);
    EXPECT_EQ(value, RegValue::text("/plans/a.chm"));
}

TEST(RegistryKey, DamagedOrVanishedHiveIsNeverWritten) {
    kvxtest::TempDir dir;
    const std::string hive = dir / "Korvenix31.reg";
    kvxtest::writeFile(hive, kvxtest::hiveText({"\"temp\"=\"4\""}));
    RegistryKey key;
    ASSERT_EQ(key.open(hive, kKey), RegStatus::Ok);

    // Damaged after the key was opened: every change fails and the bytes stay.
    const std::string damaged = kvxtest::hiveText({"\"temp\"=\"4\"", "\"half"});
    kvxtest::writeFile(hive, damaged);
    EXPECT_EQ(key.setString("temp", "5"), RegStatus::Failed);
    EXPECT_EQ(key.setDword("autoname", 1), RegStatus::Failed);
    RegValue value;
    EXPECT_EQ(key.query("temp", value), RegStatus::Failed);
    EXPECT_NE(key.problem().find("line 5"), std::string::npos) << key.problem();
    EXPECT_EQ(kvxtest::readFile(hive), damaged);
    EXPECT_EQ(kvxtest::folderNames(dir.path()).size(), 2u); // the hive and its lock file

    // Removed after the key was opened: no write brings it back.
    ::unlink(hive.c_str());
    EXPECT_EQ(key.setString("temp", "5"), RegStatus::Failed);
    EXPECT_FALSE(kvxtest::readFile(hive).has_value());
}

TEST(RegistryKey, ClosedKeyRefusesEverything) {
    kvxtest::TempDir dir;
    const std::string hive = dir / "Korvenix31.reg";
    kvxtest::writeFile(hive, kvxtest::hiveText({}));
    RegistryKey key;
    RegValue value;
    EXPECT_EQ(key.setString("temp", "1"), RegStatus::Failed);
    ASSERT_EQ(key.open(hive, kKey), RegStatus::Ok);
    key.close();
    EXPECT_EQ(key.query("temp", value), RegStatus::Failed);
    EXPECT_EQ(key.setDword("autoname", 0), RegStatus::Failed);
    EXPECT_EQ(kvxtest::readFile(hive), kvxtest::hiveText({}));
}

TEST(RegistryKey, ReplacementKeepsModeAndFollowsALink) {
    kvxtest::TempDir dir;
    const std::string real = dir / "real.reg";
    const std::string hive = dir / "Korvenix31.reg";
    kvxtest::writeFile(real, kvxtest::hiveText({}));
    ::chmod(real.c_str(), 0640);
    ASSERT_EQ(::symlink(real.c_str(), hive.c_str()), 0);
    RegistryKey key;
    ASSERT_EQ(key.open(hive, kKey), RegStatus::Ok);
    ASSERT_EQ(key.setString("temp", "9"), RegStatus::Ok);
    struct stat st {};
    ASSERT_EQ(::lstat(hive.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(kvxtest::readFile(real), kvxtest::hiveText({"\"temp\"=\"9\""}));
}

TEST(RegistryKey, NextWriteRemovesWhatAnInterruptedWriteLeft) {
    kvxtest::TempDir dir;
    const std::string hive = dir / "Korvenix31.reg";
    kvxtest::writeFile(hive, kvxtest::hiveText({}));
    kvxtest::writeFile(dir / (kvx::temporaryPrefixFor(hive) + "a1B2c3"), "half a hive");
    kvxtest::writeFile(dir / "unrelated.txt", "kept");
    RegistryKey key;
    ASSERT_EQ(key.open(hive, kKey), RegStatus::Ok);
    ASSERT_EQ(key.setString("temp", "2"), RegStatus::Ok);
    const auto names = kvxtest::folderNames(dir.path());
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"Korvenix31.reg", "Korvenix31.reg.lock", "unrelated.txt"}));
}

TEST(RegistryKey, TwoProcessesWritingAtOnceLoseNothing) {
    kvxtest::TempDir dir;
    const std::string hive = dir / "Korvenix31.reg";
    kvxtest::writeFile(hive, kvxtest::hiveText({"\"autoname\"=dword:00000000"}));
    constexpr int kValues = 1000;
    pid_t children[2];
    for (int writer = 0; writer < 2; ++writer) {
        children[writer] = ::fork();
        ASSERT_GE(children[writer], 0);
        if (children[writer] == 0) {
            RegistryKey key;
            int failures = key.open(hive, kKey) == RegStatus::Ok ? 0 : 1;
            for (int n = 0; n < kValues; ++n) {
                const RegStatus s = (n % 2 == 0) ? key.setString(valueName(writer, n), "v")
                                                 : key.setDword(valueName(writer, n), n);
                failures += s == RegStatus::Ok ? 0 : 1;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto doc = reread(hive);
    ASSERT_TRUE(doc.has_value());
    int missing = 0;
    for (int writer = 0; writer < 2; ++writer)
        for (int n = 0; n < kValues; ++n) {
            const RegValue expected = (n % 2 == 0) ? RegValue::text("v") : RegValue::dword(n);
            missing += doc->find(kKey, valueName(writer, n)) == expected ? 0 : 1;
        }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(doc->find(kKey, "autoname"), RegValue::dword(0));
}

bool hasTemporary(const std::string& folder) {
    for (const auto& name : kvxtest::folderNames(folder))
        if (name.rfind(kvx::temporaryPrefixFor("Korvenix31.reg"), 0) == 0)
            return true;
    return false;
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST(RegistryKey, KilledWriterLeavesAReadableHive) {
    kvxtest::TempDir dir;
    const std::string hive = dir / "Korvenix31.reg";
    kvxtest::writeFile(hive, kvxtest::hiveText({"\"autoname\"=dword:00000001"}));
    // Large values make each write take long enough to be caught in the middle.
    const std::string big(256 * 1024, 'k');
    int interrupted = 0;
    for (int round = 0; round < 8; ++round) {
        // No writer runs between rounds: what the last one left is cleared here.
        for (const auto& name : kvxtest::folderNames(dir.path()))
            if (name.rfind(kvx::temporaryPrefixFor("Korvenix31.reg"), 0) == 0)
                ::unlink((dir / name).c_str());
        const ino_t before = inodeOf(hive);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RegistryKey key;
            if (key.open(hive, kKey) != RegStatus::Ok)
                ::_exit(1);
            for (int n = 0;; ++n)
                key.setString("big" + std::to_string(n % 4), big + std::to_string(n));
        }
        // Odd rounds let a write or more complete first; then the writer is caught with its
        // temporary file open and killed a little later each round.
        for (int spin = 0; round % 2 == 1 && spin < 100000 && inodeOf(hive) == before; ++spin)
            ::usleep(50);
        for (int spin = 0; spin < 100000 && !hasTemporary(dir.path()); ++spin)
            ::usleep(10);
        ::usleep(static_cast<useconds_t>(round) * 300);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        interrupted += hasTemporary(dir.path()) ? 1 : 0;

        const auto doc = reread(hive);
        ASSERT_TRUE(doc.has_value()) << "round " << round;
        EXPECT_EQ(doc->find(kKey, "autoname"), RegValue::dword(1));
        for (int n = 0; n < 4; ++n)
            if (const auto v = doc->find(kKey, "big" + std::to_string(n))) {
                EXPECT_EQ(v->data.compare(0, big.size(), big), 0);
            }
    }
    EXPECT_GT(interrupted, 0); // at least one kill fell inside a write
    RegistryKey key;
    ASSERT_EQ(key.open(hive, kKey), RegStatus::Ok);
    EXPECT_EQ(key.setString("temp", "1"), RegStatus::Ok); // the lock died with the writer
    EXPECT_FALSE(hasTemporary(dir.path()));
}

} // namespace
