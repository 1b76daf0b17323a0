#pragma once
// The help system's tables of the pages it shows: the topics with their titles (#TOPICS,
// #URLTBL, #URLSTR, with the texts in #STRINGS) and the window definition (#WINDOWS) that
// names the contents, the keyword index and the start page. Plain C++, no Qt.

#include "chm/chm_writer.h"

#include <string>

namespace kvx::chm {

struct TopicTables {
    std::string strings;    // #STRINGS: a NUL, then NUL-ended texts, none across a 4 KiB block
    std::string topics;     // #TOPICS: 16 bytes a topic, in topic order
    std::string urlTable;   // #URLTBL: 12 bytes an entry, 341 to a 4 KiB block, by their ID
    std::string urlStrings; // #URLSTR: a NUL, then each page's name, none across a 4 KiB block
    std::string windows;    // #WINDOWS: one window definition, or empty when there is nothing
                            // to show in a navigation pane
    std::uint32_t windowName = 0; // where the window's name is in `strings`, or 0
};

// The longest title kept, in bytes: readers copy titles into buffers of about 1 KiB.
constexpr std::size_t kMaxTitleLength = 1000;

// The tables for `options.topics` and its contents and keyword files.
TopicTables topicTables(const ChmOptions& options);

// The window definition's name, as #SYSTEM names the default window.
inline constexpr const char* kWindowName = "main";

} // namespace kvx::chm
