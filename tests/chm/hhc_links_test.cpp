// Which files a page leads hhc.exe to: the links our index pages and reports write, resolved
// from the page's folder as a compile does, and the ones a compile must not follow.

#include "index_compile.h"
#include "sitemap.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

namespace {

TEST(HhcLinks, pageLinksResolveToWhatThePagesEncodeInsideTheFolderOnly) {
    const struct {
        const char* page;
        const char* html;
        std::vector<std::string> files; // empty: the link leaves the folder
    } cases[] = {
        // A frame element followed by stray text, as older index pages had.
        {"index.htm",
         "<frame name=\"gauche\" noresize src=\"gauche.htm\">\"><frame src=\"droite.htm\">",
         {"gauche.htm", "droite.htm"}},
        // Percent-encoded '#', blank and a Latin-1 byte; character references; upper case.
        {"index.htm",
         "<A HREF=\"R&amp;D %2312 plan%E9.dwg.htm\" target=\"droite\">",
         {"R&D #12 plan\xE9.dwg.htm"}},
        {"index.htm",
         "<img src=\"fa&#231;ade.dwg.jpg\" width=\"181\"><img src='x&#xE9;.jpg'>",
         {"fa\303\247ade.dwg.jpg", "x\xC3\xA9.jpg"}},
        {"index.htm",
         "<img src = plain.jpg border=1><a href=sub/p.htm><a href=./a%20b.jpg>",
         {"plain.jpg", "sub/p.htm", "a b.jpg"}},
        // Fragments and queries are cut off; a link of a fragment alone names no file.
        {"index.htm",
         "<a href=\"p.htm#top\"><a href=\"q.htm?x=1\"><a href=\"#top\">",
         {"p.htm", "q.htm"}},
        // Relative to the page's folder, never above the top one.
        {"sub/page.htm",
         "<img src=\"pic.jpg\"><a href=\"../index.htm\"><a href=\"../../x.htm\"><a "
         "href=\"a/../../../x.htm\">",
         {"sub/pic.jpg", "index.htm", "", ""}},
        {"index.htm",
         "<a href=\"../x.htm\"><a href=\"a/../../x.htm\"><a href=\"back\\slash.htm\">",
         {"", "", "back\\slash.htm"}},
        // Addresses of other places.
        {"index.htm",
         "<a href=\"http://example.com/a.htm\"><a href=\"mailto:x@y.z\">"
         "<input onclick=\"javascript:parent['droite'].print();\">"
         "<a href=\"javascript:void(0)\"><a href=\"/etc/passwd\"><a href=\"//host/a.htm\">"
         "<a href=\"file:///x.htm\"><a href=\"sub/\"><a href=\"\">",
         {}},
        // Not links: other attributes, text, comments.
        {"index.htm",
         "<p>href=\"text.htm\"</p><!-- <img src=\"old.jpg\"> --><td width=\"38%\">"
         "<a data-href=\"no.htm\" title=\"src=x.htm\">",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        std::vector<std::string> files;
        for (const std::string& link : kvx::hhc::pageLinks(c.html))
            files.push_back(kvx::hhc::resolveLink(c.page, link));
        EXPECT_EQ(files, c.files);
    }
}

// What a reader shows of a page: the title, the visible text (no script, inline tags and links
// inside words, blanks collapsed, references decoded), its frames and its links with their
// texts.
TEST(HhcLinks, aPageReadsAsAHelpReaderShowsIt) {
    const kvx::hhc::PageOutline o = kvx::hhc::outlinePage(
        "<html><head><title> A &amp;\r\n B </title><script>var s = \"<a href='no.htm'>x</a>\";"
        "</script><style>p { x: '<' }</style></head><body><h3>pl<b>an</b>&nbsp;&nbsp;1</h3>"
        "<p>Version<br>2004</p><a href=\"r%231.htm\" target=\"droite\"><font size=\"2\">1. "
        "R&amp;D\r\n  #1</font></a> <br><a href=\"#top\">top</a><a href='fa&#231;ade.htm'>"
        "fa&#231;ade</a><frame src=\"f.htm\"><iframe src=\"g.htm\"></iframe></body></html>");
    EXPECT_EQ(o.title, "A & B");
    EXPECT_EQ(o.text, "plan 1 Version 2004 1. R&D #1 topfa\xC3\xA7"
                      "ade");
    EXPECT_EQ(o.frames, (std::vector<std::string>{"f.htm", "g.htm"}));
    ASSERT_EQ(o.anchors.size(), 2u);
    EXPECT_EQ(o.anchors[0].link, "r#1.htm");
    EXPECT_EQ(o.anchors[0].text, "1. R&D #1");
    EXPECT_EQ(o.anchors[1].link, "fa\xC3\xA7"
                                 "ade.htm");

    for (const auto& [text, name] :
         std::vector<std::pair<std::string, std::string>>{{"1. plan", "plan"},
                                                          {"12. a b", "a b"},
                                                          {"Miniatures", "Miniatures"},
                                                          {"1.", "1."},
                                                          {"2024 plan", "2024 plan"},
                                                          {"3.14 x", "3.14 x"}})
        EXPECT_EQ(kvx::hhc::entryName(text), name) << text;
}

// The contents follow the frames of nested framesets depth first, in page order, stopping at
// a frameset that shows itself again; each target once, only files compiled.
TEST(HhcLinks, contentsComeFromEveryPageTheFramesShowInPageOrder) {
    std::map<std::string, kvx::hhc::PageOutline> pages;
    pages["index.htm"] = kvx::hhc::outlinePage(
        "<frameset rows=\"40,*\"><frame src=\"top.htm\"><frame src=\"inner.htm\"></frameset>"
        "<noframes><a href=\"nf.htm\">no frames</a></noframes>");
    pages["inner.htm"] = kvx::hhc::outlinePage(
        "<frameset cols=\"160,*\"><frame src=\"sub/left.htm\"><frame src=\"index.htm\">"
        "</frameset>");
    pages["top.htm"] = kvx::hhc::outlinePage("<a href=\"a.htm\">A</a>");
    pages["sub/left.htm"] = kvx::hhc::outlinePage(
        "<a href=\"../b.htm\"> B </a><a href=\"../a.htm\">A again</a><a "
        "href=\"missing.htm\">M</a><a href=\"../c.htm\"><img src=\"../c.jpg\"></a>");
    const std::set<std::string> compiled{"index.htm", "inner.htm", "top.htm", "sub/left.htm",
                                         "a.htm",     "b.htm",     "c.htm",   "nf.htm"};
    const std::vector<kvx::hhc::ContentsEntry> entries = kvx::hhc::contentsOf(
        "index.htm",
        [&](const std::string& page) -> const kvx::hhc::PageOutline* {
            const auto found = pages.find(page);
            return found == pages.end() ? nullptr : &found->second;
        },
        [&](const std::string& path) { return compiled.count(path) > 0; });
    std::vector<std::pair<std::string, std::string>> got;
    for (const kvx::hhc::ContentsEntry& e : entries)
        got.emplace_back(e.text, e.target);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{
                       {"A", "a.htm"}, {"B", "b.htm"}, {"c.htm", "c.htm"}}));
}

} // namespace
