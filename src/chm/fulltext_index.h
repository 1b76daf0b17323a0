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
// Words, as the readers on Linux look them up (chmlib's search, xCHM; both compare the query
// with the stored bytes, ignoring the case of ASCII and Latin-1 letters, and lowercase it
// first where it comes from a user):
// - a word is a run of the code page's letters and digits; everything else separates words,
//   apostrophes, hyphens, underscores, "#", "%", "&" and any character the code page lacks
//   (as the usual compilers do, which write the page's text in the file's code page first);
// - words are stored lowercased, in the code page: "Élévation" as "élévation" in
//   Windows-1252. A word with accented letters is stored a second time without them
//   ("elevation"), which is the form other readers fold a query to; so it is found typed
//   either way;
// - words are cut at 254 bytes, the most a node entry can carry.

#include <cstdint>
#include <string>
#include <vector>

namespace kvx::chm {

struct SearchableTopic {
    std::uint32_t topic = 0; // its entry number in #TOPICS, from 0
    std::string text;        // what the page shows, as UTF-8: tags left out, entities decoded
    std::string title;       // its title as UTF-8, if any: its words are found by "titles only"
};

// The bytes of /$FIftiMain for `topics` (in any order), its words in Windows-1252 (the code
// page of the Western languages, French among them), for a file of language `lcid`.
std::string fullTextIndex(const std::vector<SearchableTopic>& topics, std::uint32_t lcid = 0x040c);

// The node size of the index's B-tree, and the longest word it keeps.
inline constexpr std::size_t kFullTextNodeSize = 4096;
inline constexpr std::size_t kFullTextMaxWord = 254;

} // namespace kvx::chm
