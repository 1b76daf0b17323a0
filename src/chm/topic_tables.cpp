// Layouts, as help readers look them up (each by offsets from the one before it):
//   #TOPICS  entry: offset in #TOCIDX (0: none), offset of the title in #STRINGS, offset of
//            the page's #URLTBL entry, a 16-bit 6 when the contents list the page (2 when not),
//            a 16-bit 0.
//   #URLTBL  entry: an ID made from the page's name (entries sorted by it), the topic number,
//            offset of the page's #URLSTR entry. 341 entries fill a 4 KiB block; the block's
//            last 4 bytes stay zero.
//   #URLSTR  entry: offset of an outside address (0: none), offset of a frame name in #STRINGS
//            (0: none), the page's name without its leading "/", NUL-ended.
//   #STRINGS texts, NUL-ended; offset 0 is the empty text.
// Readers read these files 4 KiB at a time, so no entry runs across a 4 KiB boundary.
//   #WINDOWS a count and an entry size, then the window definition (the help viewer's window
//            type structure, 32-bit, 0xC4 bytes), its texts as offsets in #STRINGS.
#include "chm/topic_tables.h"

#include "chm/chm_directory.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace kvx::chm {

namespace {

constexpr std::size_t kBlock = 4096;
constexpr std::size_t kUrlEntriesPerBlock = kBlock / 12;

// Appends `entry` to `file`, first filling the block with zeros when it would run across its
// end; returns where it went.
std::uint32_t appendInBlock(std::string& file, const std::string& entry) {
    const std::size_t room = kBlock - file.size() % kBlock;
    if (entry.size() > room && entry.size() <= kBlock)
        file.append(room, '\0');
    const auto at = static_cast<std::uint32_t>(file.size());
    file += entry;
    return at;
}

// Texts of #STRINGS, each stored once.
class Strings {
public:
    explicit Strings(std::string& file) : m_file(file) { m_file.assign(1, '\0'); }
    std::uint32_t add(const std::string& text) {
        if (text.empty())
            return 0;
        const auto found = m_offsets.find(text);
        if (found != m_offsets.end())
            return found->second;
        const std::uint32_t at = appendInBlock(m_file, text + '\0');
        m_offsets.emplace(text, at);
        return at;
    }

private:
    std::string& m_file;
    std::map<std::string, std::uint32_t> m_offsets;
};

// A title cut to kMaxTitleLength bytes; control bytes become blanks.
std::string keptTitle(std::string title) {
    // A byte a character: the title is in the file's code page, not UTF-8.
    if (title.size() > kMaxTitleLength)
        title.resize(kMaxTitleLength);
    for (char& c : title)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return title;
}

// The ID of a page's #URLTBL entry: a 32-bit FNV-1a hash of its name.
std::uint32_t urlId(const std::string& name) {
    std::uint32_t h = 2166136261u;
    for (char c : name) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

std::string withoutSlash(const std::string& name) {
    return !name.empty() && name[0] == '/' ? name.substr(1) : name;
}

// The window definition: a three-pane window (navigation, topic, toolbar) whose navigation
// shows the contents first.
std::string windowDefinition(const ChmOptions& o, Strings& strings, std::uint32_t windowName) {
    // Members given, properties, toolbar buttons (the help viewer's HHWIN_* values).
    constexpr std::uint32_t kParamProperties = 0x2, kParamNavWidth = 0x20,
                            kParamToolbarFlags = 0x100, kParamExpansion = 0x200,
                            kParamCurrentTab = 0x2000;
    constexpr std::uint32_t kPropTriPane = 0x20, kPropAutoSync = 0x100, kPropTabSearch = 0x400;
    constexpr std::uint32_t kButtonExpand = 0x2, kButtonBack = 0x4, kButtonForward = 0x8,
                            kButtonHome = 0x40, kButtonOptions = 0x1000, kButtonPrint = 0x2000;
    constexpr std::uint32_t kSize = 0xC4;
    std::string w;
    put32(w, 1);     // one window
    put32(w, kSize); // of this size
    put32(w, kSize);
    put32(w, 0); // texts are in the file's code page
    put32(w, windowName);
    put32(w, kParamProperties | kParamNavWidth | kParamToolbarFlags | kParamExpansion |
                 kParamCurrentTab);
    put32(w, kPropTriPane | kPropAutoSync | (o.fullTextIndex.empty() ? 0 : kPropTabSearch));
    put32(w, strings.add(o.title));
    put32(w, 0);        // styles
    put32(w, 0);        // extended styles
    w.append(16, '\0'); // position
    put32(w, 0);        // show state
    w.append(24, '\0'); // window handles and information types: none in a file
    put32(w, 200);      // navigation pane width
    w.append(16, '\0'); // topic pane position
    put32(w, strings.add(withoutSlash(o.contentsFile)));
    put32(w, strings.add(withoutSlash(o.keywordFile)));
    put32(w, strings.add(o.defaultTopic)); // the page shown first
    put32(w, strings.add(o.defaultTopic)); // the Home button's page
    put32(w, kButtonExpand | kButtonBack | kButtonForward | kButtonHome | kButtonOptions |
                 kButtonPrint);
    put32(w, 0);        // the navigation pane shows
    put32(w, 0);        // its contents tab first
    put32(w, 0);        // tabs at the top
    put32(w, 0);        // notification id
    w.append(20, '\0'); // tab order: the usual one
    put32(w, 0);        // history length: the viewer's own
    w.append(16, '\0'); // jump buttons: none
    w.append(16, '\0'); // smallest size
    put32(w, 0);        // information types
    put32(w, 0);        // custom tabs
    static_assert(kSize == 0xC4);
    return w;
}

} // namespace

TopicTables topicTables(const ChmOptions& o) {
    TopicTables t;
    Strings strings(t.strings);
    const bool navigation = !o.contentsFile.empty() || !o.keywordFile.empty();
    if (navigation) {
        t.windowName = strings.add(kWindowName);
        t.windows = windowDefinition(o, strings, t.windowName);
    }
    if (o.topics.empty())
        return t;

    // #URLSTR in topic order; #URLTBL sorted by ID (then topic, so that equal IDs keep an order).
    t.urlStrings.assign(1, '\0');
    std::vector<std::uint32_t> urlStr(o.topics.size()), ids(o.topics.size());
    for (std::size_t i = 0; i < o.topics.size(); ++i) {
        std::string entry;
        put32(entry, 0);
        put32(entry, 0);
        entry += withoutSlash(o.topics[i].name);
        entry += '\0';
        urlStr[i] = appendInBlock(t.urlStrings, entry);
        ids[i] = urlId(withoutSlash(o.topics[i].name));
    }
    std::vector<std::uint32_t> order(o.topics.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return ids[a] != ids[b] ? ids[a] < ids[b] : a < b;
    });
    std::vector<std::uint32_t> urlTbl(o.topics.size());
    for (std::size_t j = 0; j < order.size(); ++j) {
        if (j > 0 && j % kUrlEntriesPerBlock == 0)
            t.urlTable.resize(j / kUrlEntriesPerBlock * kBlock, '\0');
        urlTbl[order[j]] = static_cast<std::uint32_t>(t.urlTable.size());
        put32(t.urlTable, ids[order[j]]);
        put32(t.urlTable, order[j]);
        put32(t.urlTable, urlStr[order[j]]);
    }

    for (std::size_t i = 0; i < o.topics.size(); ++i) {
        const ChmTopic& topic = o.topics[i];
        put32(t.topics, 0); // no binary contents
        put32(t.topics, strings.add(keptTitle(topic.title)));
        put32(t.topics, urlTbl[i]);
        put16(t.topics, topic.inContents ? 6 : 2);
        put16(t.topics, 0);
    }
    return t;
}

} // namespace kvx::chm
