// The five index pages written into real folders, line by line, and the index file's name.

#include "index/index_name.h"
#include "index/index_pages.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <cerrno>

namespace {

using Lines = std::vector<std::string>;

const std::string kFont = "<font face=\"Verdana, Arial, Helvetica, sans-serif\" size=";
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

// One report as the pages show it: the link's target, the picture and the link text.
struct Entry {
    std::string href, src, name;
};

Lines withStyles(const char* first, const char* body) {
    Lines l = {first};
    l.insert(l.end(), kStyles.begin(), kStyles.end());
    l.push_back(std::string("</head><body bgcolor=\"") + body + "\" text=\"#000000\">");
    return l;
}

Lines leftFrame(const std::vector<Entry>& entries) {
    Lines l = withStyles("<html><head><title>gauche</title>", "#FFFFCC");
    std::string line = "<a href=\"miniatures.htm\" target=\"droite\">" + kFont +
                       "\"2\">Miniatures</font></a><br><br>";
    for (std::size_t k = 0; k < entries.size(); ++k, line.clear())
        l.push_back(line + "<a href=\"" + entries[k].href + "\" target=\"droite\">" + kFont +
                    "\"2\">" + std::to_string(k + 1) + ". " + entries[k].name + "</font></a> <br>");
    l.push_back(line + "</body></html>");
    return l;
}

Lines thumbnails(const std::vector<Entry>& entries) {
    Lines l = withStyles("<html><head><title></title>", "#FFFFFF");
    l.insert(l.end(), {"<p>&nbsp;</p>",
                       "<table width=\"600\" border=\"0\" cellpadding=\"0\" cellspacing=\"2\" "
                       "align=\"center\">",
                       "<tr>"});
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const Entry& e = entries[k];
        l.insert(l.end(), {"<td width=\"196\" height=\"120\">",
                           "<p align=\"center\"><img src=\"" + e.src +
                               "\" width=\"181\" height=\"91\" border=\"1\"></br>",
                           kFont + "\"1\"><a href=\"" + e.href + "\">" + e.name + "</a></font></p>",
                           "</td>"});
        if (k % 3 == 2)
            l.insert(l.end(), {"</tr>", "<tr>"});
    }
    l.push_back("</tr></table></body></html>");
    return l;
}

const Lines kFrameset = {
    "<html><head><title></title></head><frameset cols=\"160,*\" frameborder=\"YES\" "
    "border=\"0\" framespacing=\"0\" rows=\"*\">",
    "<frame name=\"gauche\" scrolling=\"AUTO\" noresize src=\"gauche.htm\"><frameset "
    "rows=\"44,*\" frameborder=\"YES\" border=\"0\" framespacing=\"0\" cols=\"*\">",
    "<frame name=\"haut\" scrolling=\"NO\" noresize src=\"haut.htm\" > <frame name=\"droite\" "
    "src=\"droite.htm\">",
    "</frameset></frameset><noframes>",
    "<body bgcolor=\"#FFFFFF\" text=\"#000000\"><a href=\"gauche.htm\">Reports</a> <a "
    "href=\"miniatures.htm\">Miniatures</a></body></noframes></html>",
};

Lines topFrame(const std::string& folder) {
    return {"<html><head><title>haut</title></head><body bgcolor=\"#FFFFCC\" text=\"#000000\">",
            "<table width=\"757\" border=\"0\" height=\"22\"><tr>",
            "<td width=\"85\">" + kFont + "\"2\"><b>Folder:</b></font></td>",
            "<td width=\"588\"><div align=\"left\"><b><font color=\"#0000FF\" face=\"Verdana, "
            "Arial, Helvetica, sans-serif\" size=\"2\">" +
                folder + "</font></b></div></td>",
            "<td width=\"82\"><div align=\"right\"><input type=\"button\" name=\"Submit\" "
            "value=\" Print ! \" "
            "onclick=\"javascript:parent['droite'].focus();parent['droite'].print();\" "
            "></div></td>",
            "</tr></table></body></html>"};
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
    const QByteArray page = readAll(path);
    EXPECT_TRUE(page.endsWith("\r\n")) << path.toStdString();
    Lines out;
    for (const QByteArray& line : page.split('\n'))
        if (!line.isEmpty()) {
            EXPECT_TRUE(line.endsWith('\r'));
            out.push_back(line.chopped(1).toStdString());
        }
    return out;
}

void touch(const QString& path, const QByteArray& bytes = "x") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

Entry plain(const char* stem) {
    return {std::string(stem) + ".dwg.htm", std::string(stem) + ".dwg.jpg", stem};
}

// Paths as the file system takes them.
std::string native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

const QString kHostile = QStringLiteral("R&D <x> \"é\" #2%.dwg.htm");
const std::string kHostileShown = "R&amp;D &lt;x&gt; &quot;&#233;&quot; ";

struct PagesCase {
    std::vector<std::string> reports;
    std::vector<Entry> entries;
};

class IndexPagesTest : public ::testing::TestWithParam<PagesCase> {};

TEST_P(IndexPagesTest, fivePagesLineByLine) {
    const PagesCase& c = GetParam();
    QTemporaryDir tmp;
    const QString folder = tmp.path() + "/Plans R&D <2>";
    ASSERT_TRUE(QDir().mkpath(folder));
    touch(folder + "/miniatures.htm", QByteArray(100000, 'x')); // an earlier index's page

    ASSERT_TRUE(kvx::writeIndexPages(native(folder), c.reports).ok);
    EXPECT_EQ(linesOf(folder + "/gauche.htm"), leftFrame(c.entries));
    EXPECT_EQ(linesOf(folder + "/index.htm"), kFrameset);
    EXPECT_EQ(linesOf(folder + "/haut.htm"),
              topFrame(native(tmp.path()) + "/Plans R&amp;D &lt;2&gt;"));
    EXPECT_EQ(linesOf(folder + "/miniatures.htm"), thumbnails(c.entries));
    EXPECT_EQ(linesOf(folder + "/droite.htm"), kMainFrame);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 5); // no temporaries
}

// Enough reports that the list and the thumbnail table are written in several pieces.
PagesCase manyReports() {
    PagesCase c;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "r" + std::to_string(10000 + i);
        c.reports.push_back(name + ".dwg.htm");
        c.entries.push_back(plain(name.c_str()));
    }
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Reports, IndexPagesTest,
    ::testing::Values(
        manyReports(),
        PagesCase{{}, {}},
        // The third cell closes its row, so the table ends with an empty one.
        PagesCase{{"a.dwg.htm", "b.dwg.htm", "c.dwg.htm"}, {plain("a"), plain("b"), plain("c")}},
        // The picture is the report's own, whatever dots and letter case its name holds.
        PagesCase{{"a.b.dwg.htm", "PLAN.DWG.htm", native(kHostile), "z.dwg.htm"},
                  {{"a.b.dwg.htm", "a.b.dwg.jpg", "a"},
                   {"PLAN.DWG.htm", "PLAN.DWG.jpg", "PLAN"},
                   {kHostileShown + "%232%25.dwg.htm", kHostileShown + "%232%25.dwg.jpg",
                    kHostileShown + "#2%"},
                   plain("z")}}));

// Each link of the list and the thumbnail table, read as a browser reads it (entities first,
// then the reference against the page), reaches the report and its picture on disk: a name
// that starts like a scheme ("Lot2:") or holds a backslash is no other address.
TEST(IndexPages, everyLinkReachesItsFileOnDisk) {
    for (const QString& name : {kHostile, QStringLiteral("Lot2:a\\b.dwg.htm")}) {
        QTemporaryDir tmp;
        const QString picture =
            QFile::decodeName(QByteArray::fromStdString(kvx::reportImageName(native(name))));
        touch(tmp.path() + "/" + name);
        touch(tmp.path() + "/" + picture);
        ASSERT_TRUE(kvx::writeIndexPages(native(tmp.path()), {native(name)}).ok);
        static const QRegularExpression attribute(QStringLiteral("(?:href|src)=\"([^\"]*)\""));
        QStringList targets;
        for (const QString page : {"gauche.htm", "miniatures.htm"}) {
            const QString text = QString::fromLatin1(readAll(tmp.path() + "/" + page));
            for (auto it = attribute.globalMatch(text); it.hasNext();) {
                QString value = it.next().captured(1);
                value.replace("&#233;", "é").replace("&lt;", "<").replace("&gt;", ">");
                value.replace("&quot;", "\"").replace("&amp;", "&");
                // No scheme of its own, and no backslash a browser would take for a "/".
                EXPECT_FALSE(value.contains(':') || value.contains('\\')) << value.toStdString();
                if (value != "miniatures.htm")
                    targets << QUrl::fromLocalFile(tmp.path() + "/" + page)
                                   .resolved(QUrl(value))
                                   .toLocalFile()
                                   .mid(tmp.path().size() + 1);
            }
        }
        EXPECT_EQ(targets, (QStringList{name, picture, name})) << name.toStdString();
    }
}

// An unpacked folder may hold an index page that links elsewhere ("haut.htm" to the user's
// ~/.profile): the page replaces the link, the file it pointed to stays as it was.
TEST(IndexPages, aPageThatIsALinkIsReplacedNotItsTarget) {
    QTemporaryDir tmp;
    QDir().mkpath(tmp.path() + "/home");
    QDir().mkpath(tmp.path() + "/plans");
    touch(tmp.path() + "/home/.profile", "mine");
    ASSERT_TRUE(QFile::link(tmp.path() + "/home/.profile", tmp.path() + "/plans/haut.htm"));
    ASSERT_TRUE(kvx::writeIndexPages(native(tmp.path() + "/plans"), {}).ok);
    EXPECT_EQ(readAll(tmp.path() + "/home/.profile"), QByteArray("mine"));
    EXPECT_FALSE(QFileInfo(tmp.path() + "/plans/haut.htm").isSymLink());
    EXPECT_TRUE(readAll(tmp.path() + "/plans/haut.htm").startsWith("<html><head><title>haut"));
    EXPECT_EQ(QDir(tmp.path() + "/home").entryList(QDir::Files | QDir::Hidden),
              QStringList{".profile"});
}

TEST(IndexPages, firstFailureStopsAndKeepsThePagesBeforeIt) {
    QTemporaryDir tmp;
    ASSERT_TRUE(QDir().mkpath(tmp.path() + "/haut.htm")); // no file can go there
    const kvx::IndexPagesResult r = kvx::writeIndexPages(native(tmp.path()), {"a.dwg.htm"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedPath, tmp.path() + "/haut.htm");
    EXPECT_EQ(r.errorNumber, EISDIR);
    EXPECT_EQ(linesOf(tmp.path() + "/gauche.htm"), leftFrame({plain("a")}));
    EXPECT_EQ(linesOf(tmp.path() + "/index.htm"), kFrameset);
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"gauche.htm", "index.htm"}));
}

TEST(IndexName, checkAndRule) {
    struct {
        bool autoName;
        const char *folder, *typed, *name; // name: null when refused
    } const cases[] = {
        {true, "/home/user/Plans", "", "_home_user_Plans.chm"},
        {true, "/", "a/b", "_.chm"},
        {true, "/mnt/c:\\Lot 2", "", "_mnt_c__Lot 2.chm"},
        {false, "/p", "Plans.chm", "Plans.chm.chm"},
        {false, "/p", " a\\b ", " a\\b .chm"},
        {false, "/p", "", nullptr},
        {false, "/p", "../Plans", nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kvx::indexNameAccepted(c.autoName, c.typed), c.name != nullptr) << c.typed;
        if (c.name) {
            EXPECT_EQ(kvx::indexFileName(c.autoName, c.folder, c.typed).toStdString(), c.name);
        }
    }
}

} // namespace
