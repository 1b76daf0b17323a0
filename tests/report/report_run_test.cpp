// The batch's rules without a window: a batch killed at any point leaves no new page without
// its new picture, and what it left goes with the next batch.

#include "files/folder_work.h"
#include "report/report_run.h"

#include "support/dwg_builder.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// In a child batch: the rename after which the process is killed, 0 for never.
std::atomic<int> g_killAfterRenames{0};
std::atomic<int> g_renames{0};
} // namespace

// The batch's renames pass through here, so that a kill can land between any two of them.
extern "C" int rename(const char* from, const char* to) {
    const int result = static_cast<int>(::syscall(SYS_rename, from, to));
    if (g_killAfterRenames > 0 && ++g_renames == g_killAfterRenames)
        ::raise(SIGKILL);
    return result;
}

namespace {

constexpr int kDrawings = 6;

std::string name(int i) {
    return "plan " + std::to_string(i) + ".dwg";
}

// Runs a whole batch over the folder's drawings, as the window does between its turns.
void runBatch(const std::string& folder) {
    kvx::NameList drawings;
    for (int i = 0; i < kDrawings; ++i)
        drawings.push_back(name(i));
    kvx::ReportRun run(folder, std::move(drawings), kvx::ReportOptions{});
    for (;;) {
        const auto step = run.next(std::chrono::milliseconds(20));
        ASSERT_NE(step, kvx::ReportRun::Step::Failed);
        if (step == kvx::ReportRun::Step::Finished)
            break;
    }
    while (!run.end(std::chrono::milliseconds(20))) {
    }
    ASSERT_FALSE(run.groupFailure());
}

std::string contentOf(const std::string& path) {
    const kvxtest::Bytes bytes = kvxtest::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(ReportRun, aKilledBatchNeverLeavesANewPageWithoutItsNewPicture) {
    // The preview area is drawn with the application's fonts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char program[] = "report_run_test";
    char* argv[] = {program, nullptr};
    const QGuiApplication app(argc, argv);
    kvxtest::TempDir dir;
    const kvxtest::Bytes dwg = kvxtest::DwgBuilder("AC1018")
                                   .headerData()
                                   .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(64, 32, 16)))
                                   .build();
    for (int i = 0; i < kDrawings; ++i) {
        dir.write(name(i), dwg);
        kvxtest::writeFile(dir.file(name(i) + ".htm"), {'o', 'l', 'd'});
        kvxtest::writeFile(dir.file(name(i) + ".jpg"), {'o', 'l', 'd'});
    }
    std::size_t leftBehind = 0;
    // Killed after each of the batch's renames in turn: every report half-way is covered.
    for (int kill = 1; kill <= 2 * kDrawings; ++kill) {
        SCOPED_TRACE("killed after rename " + std::to_string(kill));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            g_killAfterRenames = kill;
            runBatch(dir.path());
            ::_exit(3); // not killed: the test below says so
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        for (int i = 0; i < kDrawings; ++i) {
            const bool newPage = contentOf(dir.file(name(i) + ".htm")) != "old";
            const bool newPicture = contentOf(dir.file(name(i) + ".jpg")) != "old";
            EXPECT_TRUE(!newPage || newPicture) << name(i);
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            leftBehind += entry.path().filename().string().rfind(".kvx-tmp-", 0) == 0;
    }
    EXPECT_GT(leftBehind, 0u); // the kills did leave staged files

    // The next batch, with nobody else at work, takes every leftover and the dead markers.
    runBatch(dir.path());
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string file = entry.path().filename().string();
        const bool drawing = file.size() > 4 && file.compare(file.size() - 4, 4, ".dwg") == 0;
        EXPECT_TRUE(drawing || contentOf(entry.path().string()) != "old") << file;
        EXPECT_NE(file.rfind(".kvx-", 0), 0u) << file;
    }
}

} // namespace
