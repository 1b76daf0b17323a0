// A compiled index as the help readers of a Linux desktop see it, through chmlib's Python
// binding (python3-chm), which shares no code with our writer: the contents, the keyword index
// and the topics' titles, for reports with awkward names and for a user's own nested framesets.

#include "index/index_pages.h"
#include "report/report_page.h"
#include "support/index_folder.h"

#include <gtest/gtest.h>

#include <QString>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Expected {
    std::string kind, text, page;
};

class HelpReaders : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) / ("help-readers-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Compiles the folder with hhc.exe and checks it with the Python reader.
    void compileAndCheck(const fs::path& folder, const std::vector<Expected>& expected) {
        const std::string checker = std::string("/usr/bin/python3 ") + KVX_PYCHM_CHECK;
        if (std::system((checker + " /dev/null /dev/null >/dev/null 2>&1; test $? != 77").c_str()))
            GTEST_SKIP() << "python3-chm is not installed";
        const std::string compile = std::string(KVX_HHC) + " '" + (folder / "index.htm").string() +
                                    "' >" + (dir / "hhc.log").string() + " 2>&1";
        ASSERT_EQ(std::system(compile.c_str()), 0);
        std::ofstream lines(dir / "expected.tsv");
        for (const Expected& e : expected)
            lines << e.kind << '\t' << e.text << '\t' << e.page << '\n';
        lines.close();
        const std::string check = checker + " '" + (folder / "hhctest.chm").string() + "' '" +
                                  (dir / "expected.tsv").string() + "' >" +
                                  (dir / "check.log").string() + " 2>&1";
        const int status = std::system(check.c_str());
        std::ifstream log(dir / "check.log");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << std::string(std::istreambuf_iterator<char>(log), {});
    }

    fs::path dir;
};

void write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Reports of drawings named with blanks, accents, Cyrillic and Chinese letters, '#', '%', '&'
// and a second dot, and the five index pages over them: every report is in the contents as
// "k. name", has a keyword under its drawing's name and that name for its title, and Search
// finds it by the words on it.
TEST_F(HelpReaders, everyReportIsInTheContentsAndTheKeywordsUnderItsDrawingsName) {
    const fs::path folder = dir / "Plans";
    fs::create_directories(folder);
    const std::vector<std::string> drawings = {
        "plan 1.dwg",
        "fa\xC3\xA7"
        "ade \xC3\xA9t\xC3\xA9.dwg",
        "\xD0\x9F\xD0\xBB\xD0\xB0\xD0\xBD \xD1\x8D\xD1\x82\xD0\xB0\xD0\xB6\xD0\xB0.dwg",
        "\xE5\xB9\xB3\xE9\x9D\xA2\xE5\x9B\xBE.dwg",
        "R&D #12.dwg",
        "100% fini.dwg",
        "a.b.dwg"};
    for (const std::string& drawing : drawings) {
        kvx::ReportFields fields;
        fields.shortName = kvx::shortName(QString::fromStdString(drawing));
        fields.imageFileName = drawing + ".jpg";
        fields.location = QString::fromStdString("/home/user/Plans/" + drawing);
        fields.version = "Version 2004/2005";
        fields.modified = "01/03/2026 10:00:00";
        fields.size = "52 octets";
        write(folder / (drawing + ".htm"), kvx::reportPage(fields));
        write(folder / (drawing + ".jpg"), "\xFF\xD8\xFF\xD9");
    }
    const kvx::FolderListing listing = kvx::listReportPages(folder.string());
    ASSERT_EQ(listing.names.size(), drawings.size());
    ASSERT_TRUE(kvx::writeIndexPages(folder.string(), listing.names).ok);

    std::vector<Expected> expected{{"contents", "Miniatures", "miniatures.htm"},
                                   {"title", "Miniatures", "miniatures.htm"},
                                   {"title", "gauche", "gauche.htm"}};
    for (std::size_t k = 0; k < listing.names.size(); ++k) {
        const std::string page(listing.names[k]);
        const std::string name = kvx::shortName(QString::fromStdString(page)).toStdString();
        expected.push_back({"contents", std::to_string(k + 1) + ". " + name, page});
        expected.push_back({"keyword", name, page});
        expected.push_back({"title", name, page});
        // Any word of the page finds it: its release and its date.
        expected.push_back({"search", "2004", page});
        expected.push_back({"search", "2026", page});
    }
    // And words of the drawings' names, accented ones by their accents.
    for (const auto& [word, drawing] :
         std::vector<std::pair<std::string, std::string>>{{"plan", drawings[0]},
                                                          {"fa\xC3\xA7"
                                                           "ade",
                                                           drawings[1]},
                                                          {"\xC3\xA9t\xC3\xA9", drawings[1]},
                                                          {"12", drawings[4]},
                                                          {"fini", drawings[5]}})
        expected.push_back({"search", word, drawing + ".htm"});
    compileAndCheck(folder, expected);
}

// A user's own index.htm: a frameset whose second frame is another frameset. The contents
// take the links of every page shown, in page order: the list's, then the main frame's.
TEST_F(HelpReaders, nestedFramesetsGiveTheLinksOfEveryPageShownInPageOrder) {
    const fs::path folder = dir / "Own";
    fs::create_directories(folder);
    kvxtest::writeIndexFolder(folder.string(), 5);
    std::vector<Expected> expected;
    for (const char* report : {"plan 0000.dwg", "R&D #0001.dwg",
                               "fa\xC3\xA7"
                               "ade \xC3\xA9t\xC3\xA9 0002.dwg",
                               "plan 0003.dwg", "R&D #0004.dwg"}) {
        const std::string page = std::string(report) + ".htm";
        expected.push_back({"contents", report, page});
        expected.push_back({"keyword", report, page});
        expected.push_back({"title", report, page});
    }
    expected.push_back({"contents", "Pictures", "miniatures.htm"});
    expected.push_back({"title", "Index", "index.htm"});
    compileAndCheck(folder, expected);
}

} // namespace
