// The five index pages written into real folders, line by line, and the index file's name.

#include "index/index_name.h"
#include "index/index_pages.h"
#include "support/folder_lock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <cerrno>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kFont = "<font face=\"Verdana, Arial, Helvetica, sans-serif\"";
const Lines kStyles = {
    "<style type=\"text/css\">",
    "a:link {  color: #B0001F; font-family: Verdana, Arial, Helvetica, sans-serif; font-weight: "
    "bold; text-decoration: none}",
    "a:visited {  color: #B0001F; font-family: Verdana, Arial, Helvetica, sans-serif; "
    "font-weight: bold; text-decoration: none}",
    "a:hover {  color: #B0001F; font-family: Verdana, Arial, Helvetica, sans-serif; font-weight: "
    "bold; text-decoration: underline}",
    "a:active { color: #B0001F;font-family: Verdana, Arial, Helvetica, sans-serif; font-weight: "
    "bold;text-decoration: none}",
    "</style>",
};
const std::string kMiniatures = "<a href=\"miniatures.htm\" target=\"droite\">" + kFont +
                                " size=\"2\">Miniatures</font></a><br><br>";

// One report as the pages show it: the link's target, the picture and the link text.
struct Entry {
    std::string href, src, name;
};

Lines leftFrame(const std::vector<Entry>& entries) {
    Lines l = {"<html><head><title>gauche</title>"};
    l.insert(l.end(), kStyles.begin(), kStyles.end());
    l.push_back("</head><body bgcolor=\"#FFFFCC\" text=\"#000000\">");
    std::string line = kMiniatures;
    int k = 0;
    for (const Entry& e : entries) {
        l.push_back(line + "<a href=\"" + e.href + "\" target=\"droite\">" + kFont +
                    " size=\"2\">" + std::to_string(++k) + ". " + e.name + "</font></a> <br>");
        line.clear();
    }
    l.push_back(line + "</body></html>");
    return l;
}

Lines thumbnails(const std::vector<Entry>& entries) {
    Lines l = {"<html><head><title></title>"};
    l.insert(l.end(), kStyles.begin(), kStyles.end());
    for (const char* s : {"</head><body bgcolor=\"#FFFFFF\" text=\"#000000\">", "<p>&nbsp;</p>",
                          "<table width=\"600\" border=\"0\" cellpadding=\"0\" cellspacing=\"2\" "
                          "align=\"center\">",
                          "<tr>"})
        l.push_back(s);
    int cell = 0;
    for (const Entry& e : entries) {
        l.push_back("<td width=\"196\" height=\"120\">");
        l.push_back("<p align=\"center\"><img src=\"" + e.src +
                    "\" width=\"181\" height=\"91\" border=\"1\"></br>");
        l.push_back(kFont + " size=\"1\"><a href=\"" + e.href + "\">" + e.name + "</a></font></p>");
        l.push_back("</td>");
        if (++cell == 3) {
            cell = 0;
            l.push_back("</tr>");
            l.push_back("<tr>");
        }
    }
    l.push_back("</tr></table></body></html>");
    return l;
}

const Lines kFrameset = {
    "<html><head><title></title></head><frameset cols=\"160,*\" frameborder=\"YES\" "
    "border=\"0\" framespacing=\"0\" rows=\"*\">",
    "<frame name=\"gauche\" scrolling=\"AUTO\" noresize src=\"gauche.htm\">\"><frameset "
    "rows=\"44,*\" frameborder=\"YES\" border=\"0\" framespacing=\"0\" cols=\"*\">",
    "<frame name=\"haut\" scrolling=\"NO\" noresize src=\"haut.htm\" > <frame name=\"droite\" "
    "src=\"droite.htm\">",
    "</frameset></frameset><noframes>",
    "<body bgcolor=\"#FFFFFF\" text=\"#000000\"></body></noframes></html>",
};

Lines topFrame(const std::string& folder) {
    return {
        "<html><head><title>haut</title></head><body bgcolor=\"#FFFFCC\" text=\"#000000\">",
        "<table width=\"757\" border=\"0\" height=\"22\"><tr>",
        "<td width=\"85\">" + kFont + " size=\"2\"><b>Folder:</b></font></td>",
        "<td width=\"588\"><div align=\"left\"><b><font color=\"#0000FF\" face=\"Verdana, Arial, "
        "Helvetica, sans-serif\" size=\"2\">" +
            folder + "</font></b></div></td>",
        "<td width=\"82\"><div align=\"right\"><input type=\"button\" name=\"Submit\" value=\" "
        "Print ! \" onclick=\"javascript:parent['droite'].focus();parent['droite'].print();\" "
        "></div></td>",
        "</tr></table></body></html>",
    };
}

const Lines kMainFrame = {
    "<html><head><title>droite</title></head><body bgcolor=\"#FFFFFF\" text=\"#000000\">",
    "<p>&nbsp;</p><p>&nbsp;</p><p>&nbsp;</p></body></html>",
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A page's lines; each must end with CR LF.
Lines linesOf(const QString& path) {
    const std::string page = readAll(path).toStdString();
    Lines out;
    std::size_t at = 0;
    while (at < page.size()) {
        const std::size_t end = page.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "unterminated line in " << path.toStdString();
        if (end == std::string::npos)
            break;
        out.push_back(page.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

void touch(const QString& path, const QByteArray& bytes = "x") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

struct PagesCase {
    const char* label;
    QStringList reports;
    std::vector<Entry> entries;
};

class IndexPagesTest : public ::testing::TestWithParam<PagesCase> {};

TEST_P(IndexPagesTest, fivePagesLineByLine) {
    const PagesCase& c = GetParam();
    QTemporaryDir tmp;
    const QString folder = tmp.path() + "/Plans R&D <2>";
    ASSERT_TRUE(QDir().mkpath(folder));
    // Pages of an earlier index are replaced.
    touch(folder + "/miniatures.htm", QByteArray(100000, 'x'));

    ASSERT_TRUE(kvx::writeIndexPages(folder, c.reports).ok);
    const std::string shownFolder =
        QFile::encodeName(tmp.path()).toStdString() + "/Plans R&amp;D &lt;2&gt;";
    EXPECT_EQ(linesOf(folder + "/gauche.htm"), leftFrame(c.entries));
    EXPECT_EQ(linesOf(folder + "/index.htm"), kFrameset);
    EXPECT_EQ(linesOf(folder + "/haut.htm"), topFrame(shownFolder));
    EXPECT_EQ(linesOf(folder + "/miniatures.htm"), thumbnails(c.entries));
    EXPECT_EQ(linesOf(folder + "/droite.htm"), kMainFrame);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 5)
        << "no temporary file left behind";
}

Entry plain(const char* stem) {
    return {std::string(stem) + ".dwg.htm", std::string(stem) + ".dwg.jpg", stem};
}

INSTANTIATE_TEST_SUITE_P(
    Reports, IndexPagesTest,
    ::testing::Values(
        PagesCase{"none", {}, {}},
        // The third cell closes its row, so the table ends with an empty one.
        PagesCase{
            "three", {"a.dwg.htm", "b.dwg.htm", "c.dwg.htm"}, {plain("a"), plain("b"), plain("c")}},
        PagesCase{"four",
                  {"a.dwg.htm", "b.dwg.htm", "c.dwg.htm", "d.dwg.htm"},
                  {plain("a"), plain("b"), plain("c"), plain("d")}},
        // The picture is the report's own, whatever dots and letter case its name has.
        PagesCase{"dotted and upper case",
                  {"a.b.dwg.htm", "PLAN.DWG.htm"},
                  {{"a.b.dwg.htm", "a.b.dwg.jpg", "a"}, {"PLAN.DWG.htm", "PLAN.DWG.jpg", "PLAN"}}},
        PagesCase{"hostile",
                  {QStringLiteral("R&D <x> \"é\" #2%.dwg.htm")},
                  {{"R&amp;D &lt;x&gt; &quot;&#233;&quot; %232%25.dwg.htm",
                    "R&amp;D &lt;x&gt; &quot;&#233;&quot; %232%25.dwg.jpg",
                    "R&amp;D &lt;x&gt; &quot;&#233;&quot; #2%"}}}),
    [](const ::testing::TestParamInfo<PagesCase>& info) {
        std::string name;
        for (const char* p = info.param.label; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

// What a browser does with an attribute value: entities decoded, then the reference
// resolved against the page.
QString resolved(const QString& page, QString value) {
    static const QRegularExpression numeric(QStringLiteral("&#(\\d+);"));
    for (auto m = numeric.match(value); m.hasMatch(); m = numeric.match(value))
        value.replace(m.capturedStart(), m.capturedLength(), QChar(m.captured(1).toInt()));
    value.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
    return QUrl::fromLocalFile(page).resolved(QUrl(value)).toLocalFile();
}

TEST(IndexPages, hostileNameLinksAndPictureReachTheFilesOnDisk) {
    QTemporaryDir tmp;
    const QString report = QStringLiteral("R&D <x> \"é\" #2%.dwg.htm");
    const QString picture = QStringLiteral("R&D <x> \"é\" #2%.dwg.jpg");
    touch(tmp.path() + "/" + report);
    touch(tmp.path() + "/" + picture);
    ASSERT_TRUE(kvx::writeIndexPages(tmp.path(), {report}).ok);

    static const QRegularExpression attribute(QStringLiteral("(href|src)=\"([^\"]*)\""));
    QStringList targets;
    for (const char* page : {"gauche.htm", "miniatures.htm"}) {
        const QString text = QString::fromLatin1(readAll(tmp.path() + "/" + page));
        for (auto it = attribute.globalMatch(text); it.hasNext();) {
            const QString value = it.next().captured(2);
            if (value != QLatin1String("miniatures.htm"))
                targets << resolved(tmp.path() + "/" + page, value);
        }
    }
    const QStringList expected = {tmp.path() + "/" + report, tmp.path() + "/" + picture,
                                  tmp.path() + "/" + report};
    EXPECT_EQ(targets, expected);
    for (const QString& t : targets)
        EXPECT_TRUE(QFile::exists(t)) << t.toStdString();
}

TEST(IndexPages, firstFailureStopsAndKeepsThePagesBeforeIt) {
    QTemporaryDir tmp;
    // Something that is not a file stands where the third page goes.
    ASSERT_TRUE(QDir().mkpath(tmp.path() + "/haut.htm"));
    const kvx::IndexPagesResult r = kvx::writeIndexPages(tmp.path(), {"a.dwg.htm"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedPath, tmp.path() + "/haut.htm");
    EXPECT_EQ(r.errorNumber, EISDIR);
    EXPECT_EQ(linesOf(tmp.path() + "/gauche.htm"), leftFrame({plain("a")}));
    EXPECT_EQ(linesOf(tmp.path() + "/index.htm"), kFrameset);
    EXPECT_FALSE(QFile::exists(tmp.path() + "/miniatures.htm"));
    EXPECT_FALSE(QFile::exists(tmp.path() + "/droite.htm"));
}

TEST(IndexPages, folderRefusingWritesKeepsTheEarlierIndex) {
    QTemporaryDir tmp;
    for (const char* page : kvx::kIndexPages)
        touch(tmp.path() + "/" + page, "earlier");
    FolderLock lock(tmp.path());
    if (!lock.locked())
        GTEST_SKIP() << "this file system cannot refuse writes here";
    const kvx::IndexPagesResult r = kvx::writeIndexPages(tmp.path(), {"a.dwg.htm"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedPath, tmp.path() + "/gauche.htm");
    EXPECT_TRUE(r.errorNumber == EACCES || r.errorNumber == EPERM) << r.errorNumber;
    for (const char* page : kvx::kIndexPages)
        EXPECT_EQ(readAll(tmp.path() + "/" + page), QByteArray("earlier")) << page;
}

TEST(IndexPages, indexPageNamesWhateverTheirCase) {
    for (const char* name :
         {"index.htm", "Index.HTM", "GAUCHE.htm", "droite.htm", "Haut.Htm", "miniatures.HTM"})
        EXPECT_TRUE(kvx::isIndexPageName(name)) << name;
    for (const char* name : {"index.html", "index.dwg.htm", "xindex.htm", "plan.dwg.htm", ""})
        EXPECT_FALSE(kvx::isIndexPageName(name)) << name;
}

struct NameCase {
    bool autoName;
    const char* folder;
    const char* typed;
    bool accepted;
    const char* name; // when accepted
};

TEST(IndexName, checkAndRule) {
    const NameCase cases[] = {
        {true, "/home/user/Plans", "", true, "_home_user_Plans.chm"},
        {true, "/", "ignored/text", true, "_.chm"},
        {true, "/mnt/c:\\Lot 2", "", true, "_mnt_c__Lot 2.chm"},
        {false, "/p", "Plans", true, "Plans.chm"},
        {false, "/p", "Plans.chm", true, "Plans.chm.chm"},
        {false, "/p", "  ", true, "  .chm"},
        {false, "/p", " a\\b ", true, " a\\b .chm"},
        {false, "/p", "", false, nullptr},
        {false, "/p", "../Plans", false, nullptr},
        {false, "/p", "/tmp/x", false, nullptr},
    };
    for (const NameCase& c : cases) {
        const QString typed = QString::fromUtf8(c.typed);
        EXPECT_EQ(kvx::indexNameAccepted(c.autoName, typed), c.accepted) << c.typed;
        if (c.accepted) {
            EXPECT_EQ(kvx::indexFileName(c.autoName, c.folder, typed).toStdString(), c.name);
        }
    }
}

} // namespace
