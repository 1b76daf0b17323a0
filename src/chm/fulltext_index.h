#pragma once
// The full-text search index of a compiled-help file, /$FIftiMain: every word of every page
// with the pages (topics) it is on and where, which a help reader's Search tab looks words up
// in. Plain C++, no Qt.
//
// A file that carries it announces it in #SYSTEM: the third DWORD of the code 4 record (after
// the LCID and the DBCS flag) is 1. Help readers list the hits under the titles of the topic
// tables (#TOPICS, #URLTBL, #URLSTR, titles in #STRINGS), which the file must have too; the
// window definition in #WINDOWS shows a Search tab when its navigation style has
// HHWIN_PROP_TAB_SEARCH (0x400).
//
// Words, as the readers on Linux look them up (chmlib's search, which python3-chm uses, and
// xCHM): they compare the query with the stored bytes, ignoring the case of ASCII letters
// (xCHM: of Latin-1 letters too, reading the bytes as Latin-1), a user's query lowercased.
// - A word is a run of the code page's letters and digits. Everything else separates words:
//   blanks, punctuation, apostrophes, hyphens, underscores, "#", "%", "&", and characters the
//   code page lacks (Cyrillic, Chinese), as when a page's text is put in the code page first.
// - Words are stored lowercase, in the code page: "Élévation" as "élévation" in
//   Windows-1252. A word with accented letters is stored a second time without its accents
//   ("elevation"), so that it is found typed either way.
// - Words are cut at 254 bytes, the most a node entry carries.
// - A title's words are the page's words, and are indexed apart again for the readers'
//   "titles only" search: give each topic the title the topic tables list for it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::chm {

struct SearchableTopic {
    std::uint32_t topic = 0; // its entry number in #TOPICS, from 0
    std::string text;        // what the page shows, as UTF-8: tags left out, entities decoded
    std::string title;       // its title as UTF-8, if any: its words are found by "titles only"
};

// The index built a topic at a time, so that the pages' text need not all be held: about 8
// bytes are kept a word (up to 16 while finish() runs).
class FullTextIndexBuilder {
public:
    explicit FullTextIndexBuilder(std::uint32_t lcid = 0x040c);
    ~FullTextIndexBuilder();
    // A topic's words, as SearchableTopic gives them; topics come in any order. Words after
    // the first kFullTextMaxTopicWords of a topic are left out.
    void add(std::uint32_t topic, std::string_view text, std::string_view title = {});
    // The bytes of /$FIftiMain, its words in Windows-1252 (the code page of the Western
    // languages, French among them), for a file of language `lcid`. Once only.
    std::string finish();

private:
    struct State;
    std::unique_ptr<State> m;
};

// The same for topics at hand.
std::string fullTextIndex(const std::vector<SearchableTopic>& topics, std::uint32_t lcid = 0x040c);

// The node size of the index's B-tree, the longest word it keeps and the most words of a
// topic it keeps (some 2 MB of text).
inline constexpr std::size_t kFullTextNodeSize = 4096;
inline constexpr std::size_t kFullTextMaxWord = 254;
inline constexpr std::uint32_t kFullTextMaxTopicWords = 1u << 18;

} // namespace kvx::chm
