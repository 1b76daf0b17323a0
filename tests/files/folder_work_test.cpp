// Who is at work in a folder: the clean-up of leftovers takes nothing another live copy may
// have staged, whatever the names or the clocks, and everything once nobody else is there.

#include "files/atomic_file.h"
#include "files/folder_work.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Folder {
    Folder() {
        char templ[] = "/tmp/kvx-work-XXXXXX";
        path = ::mkdtemp(templ) ? templ : "";
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Sets a file's modification time `seconds` from now.
void age(const std::string& path, long seconds) {
    const timespec t[2] = {{std::time(nullptr) + seconds, 0}, {std::time(nullptr) + seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0) << path;
}

void writeMarker(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// Another copy's marker, in the shapes it can take.
enum class Other { None, LiveHere, DeadHere, FreshElsewhere, StaleElsewhere };

TEST(FolderWork, leftoversGoOnlyWhenNoOtherCopyIsAtWork) {
    struct Case {
        const char* what;
        Other other;
        long tempAge; // the staged temporaries' times, from now: another clock's
        bool removed;
    } const cases[] = {
        {"alone, a killed batch's fresh leftovers", Other::None, 0, true},
        {"a copy that ended here without removing its marker", Other::DeadHere, -30, true},
        {"a live copy here, its clock an hour ahead", Other::LiveHere, -3600, false},
        {"a live copy here, its clock an hour behind", Other::LiveHere, 3600, false},
        {"a live copy elsewhere, fresh on the folder's clock", Other::FreshElsewhere, -7200, false},
        {"a copy elsewhere silent for two minutes", Other::StaleElsewhere, -7200, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder;
        const std::string work = folder.file(kvx::kWorkFolderName);
        kvx::FolderWork other;
        std::string error;
        switch (c.other) {
        case Other::None:
            break;
        case Other::LiveHere:
            ASSERT_TRUE(other.begin(folder.path, error)) << error;
            break;
        case Other::DeadHere: // killed: its marker stays, nobody holds its lock
            writeMarker(work + "/w-killed", kvx::workMarkerText(999999));
            break;
        case Other::FreshElsewhere:
        case Other::StaleElsewhere:
            writeMarker(work + "/w-remote", "korvenix at work\nanother-machine\n42\n");
            age(work + "/w-remote", c.other == Other::StaleElsewhere ? -120 : -5);
            break;
        }
        // Staged reports, the other copy's or a killed one's, and a name that only looks
        // like a temporary.
        const std::string page = folder.file(kvx::temporaryPrefixFor("a.dwg.htm") + "Ab12Cd");
        const std::string picture = folder.file(kvx::temporaryPrefixFor("b.dwg.jpg") + "Zz99Yy");
        const std::string notOurs = folder.file(kvx::temporaryPrefixFor("a.dwg.htm") + "Ab12Cd7");
        for (const std::string& f : {page, picture, notOurs}) {
            std::ofstream(f) << "staged";
            age(f, c.tempAge);
        }
        kvx::FolderWork mine;
        ASSERT_TRUE(mine.begin(folder.path, error)) << error;
        const kvx::LeftoverSweep sweep = kvx::removeLeftoversWhenAlone(folder.path, {mine.name()});
        EXPECT_EQ(sweep.alone, c.removed);
        EXPECT_EQ(exists(page), !c.removed);
        EXPECT_EQ(exists(picture), !c.removed);
        EXPECT_TRUE(exists(notOurs));
        EXPECT_EQ(sweep.removed, c.removed ? 2u : 0u);
        // A dead copy's marker goes with the clean-up; a live one's stays.
        EXPECT_FALSE(exists(work + "/w-killed"));
        EXPECT_EQ(exists(work + "/w-remote"), c.other == Other::FreshElsewhere);
        mine.end();
        other.end();
        // The last copy to leave takes the work folder with it.
        if (c.other != Other::FreshElsewhere) {
            EXPECT_FALSE(exists(work));
        }
    }
}

// Names are no proof of ownership: a temporary whose name key is the compiler output's (the
// 32-bit keys of "plan 1452610561.dwg.jpg" and "hhctest.chm" are equal) survives the
// compiler's clean-up while the copy that staged it works; a writer's locked temporary
// survives any clean-up.
TEST(FolderWork, aCollidingNameOrAHeldTemporarySurvivesTheCleanUp) {
    const std::uint32_t key = kvx::TemporaryKey("hhctest.chm").value();
    ASSERT_EQ(kvx::TemporaryKey("plan 1452610561.dwg.jpg").value(), key);
    Folder folder;
    std::string error;
    kvx::FolderWork batch, compiler;
    ASSERT_TRUE(batch.begin(folder.path, error) && compiler.begin(folder.path, error)) << error;
    const std::string staged =
        folder.file(kvx::temporaryPrefixFor("plan 1452610561.dwg.jpg") + "Ab12Cd");
    std::ofstream(staged) << "staged";
    const std::vector<std::uint32_t> keys{key};
    EXPECT_FALSE(kvx::removeLeftoversWhenAlone(folder.path, {compiler.name()}, &keys).alone);
    EXPECT_TRUE(exists(staged));

    batch.end();
    kvx::AtomicFileWriter writing;
    ASSERT_TRUE(writing.open(folder.file("hhctest.chm"), 0644, error, nullptr, kvx::Links::Replace))
        << error;
    const kvx::LeftoverSweep sweep =
        kvx::removeLeftoversWhenAlone(folder.path, {compiler.name()}, &keys);
    EXPECT_TRUE(sweep.alone);
    EXPECT_FALSE(exists(staged));
    EXPECT_EQ(sweep.kept, 1u); // the writer's own
    ASSERT_TRUE(writing.write("chm", error) && writing.commit(error)) << error;
}

// Two compiles in one folder take turns around hhctest.chm; a turn whose holder ended is
// taken over.
TEST(FolderTurn, oneCopyAtATimeAndADeadHolderIsTakenOver) {
    Folder folder;
    std::string error;
    kvx::FolderTurn first, second;
    ASSERT_EQ(first.tryTake(folder.path, "hhctest.chm", error), kvx::FolderTurn::Outcome::Taken)
        << error;
    EXPECT_EQ(second.tryTake(folder.path, "hhctest.chm", error), kvx::FolderTurn::Outcome::Busy);
    first.release();
    EXPECT_EQ(second.tryTake(folder.path, "hhctest.chm", error), kvx::FolderTurn::Outcome::Taken);
    second.release();

    writeMarker(folder.file(kvx::kWorkFolderName) + "/" + kvx::FolderTurn::nameFor("hhctest.chm"),
                kvx::workMarkerText(999999));
    EXPECT_EQ(first.tryTake(folder.path, "hhctest.chm", error), kvx::FolderTurn::Outcome::Taken);
}

} // namespace
