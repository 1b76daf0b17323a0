// /$FIftiMain, front to back:
//   header (0x400 bytes) | word location codes (WLC) of every entry | leaf nodes, linked in
//   word order | index nodes, level by level from the leaves up; the root is the last node.
//
// Nodes are 4 KiB. A leaf: DWORD offset of the next leaf (0 for the last), WORD 0, WORD free
// bytes at its end, then its entries: BYTE length of the word's new part plus one, BYTE how
// many bytes it shares with the previous word of the node (0 for the first), the new part,
// BYTE context (0 the page's text, 1 its title), ENCINT number of topics, DWORD offset of its
// WLC block, WORD 0, ENCINT length of the block. An index node: WORD free bytes at its end,
// then per child the child's last word (shared and new part as above), DWORD its offset,
// WORD 0. Readers go down at the first entry whose word is not below the query, and read
// only one leaf for a whole word: a word's text and title entries share a leaf.
//
// ENCINT here: 7 bits a byte, least significant group first. A WLC block, per topic in
// topic order and starting on a byte: the topic's number less the previous one's, how many
// times the word is there, then each position less the previous one; each a "scale and
// root" number (scale 2, the root per kind chosen here): a value of at most `root` bits is
// a 0 and those bits; a longer one of n bits is n - root ones, a 0, and its low n - 1 bits.
// Bits go from the most significant bit of each byte down.
#include "chm/fulltext_index.h"

#include "chm/chm_directory.h"
#include "chm/code_page.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace kvx::chm {

namespace {

constexpr std::size_t kHeaderSize = 0x400;
constexpr std::size_t kLeafNodeHeader = 8;
constexpr std::size_t kIndexNodeHeader = 2;
constexpr std::uint32_t kCodePage = 1252;

// Windows-1252, byte by byte: what the byte is in a word, lowercased (0: it separates words).
struct ByteTables {
    std::array<unsigned char, 256> lower{};
    std::array<const char*, 256> unaccented{}; // the lowercase letter without its accent
    ByteTables() {
        for (int c = '0'; c <= '9'; ++c)
            lower[c] = static_cast<unsigned char>(c);
        for (int c = 'a'; c <= 'z'; ++c)
            lower[c] = lower[c - 32] = static_cast<unsigned char>(c);
        // ƒ, ª, µ, º and the pairs Š/š, Œ/œ, Ž/ž, Ÿ/ÿ
        for (int c : {0x83, 0xAA, 0xB5, 0xBA, 0x9A, 0x9C, 0x9E, 0xFF})
            lower[c] = static_cast<unsigned char>(c);
        lower[0x8A] = 0x9A;
        lower[0x8C] = 0x9C;
        lower[0x8E] = 0x9E;
        lower[0x9F] = 0xFF;
        for (int c = 0xC0; c <= 0xFE; ++c) // À..þ less × and ÷
            if (c != 0xD7 && c != 0xF7)
                lower[c] = static_cast<unsigned char>(c < 0xDF ? c + 32 : c);
        const std::pair<const char*, const char*> folds[] = {{"\xE0\xE1\xE2\xE3\xE4\xE5\xAA", "a"},
                                                             {"\xE6", "ae"},
                                                             {"\xE7", "c"},
                                                             {"\xE8\xE9\xEA\xEB", "e"},
                                                             {"\xEC\xED\xEE\xEF", "i"},
                                                             {"\xF0", "d"},
                                                             {"\xF1", "n"},
                                                             {"\xF2\xF3\xF4\xF5\xF6\xF8\xBA", "o"},
                                                             {"\xF9\xFA\xFB\xFC", "u"},
                                                             {"\xFD\xFF", "y"},
                                                             {"\xDF", "ss"},
                                                             {"\x9A", "s"},
                                                             {"\x9C", "oe"},
                                                             {"\x9E", "z"},
                                                             {"\x83", "f"}};
        for (const auto& [from, to] : folds)
            for (const char* p = from; *p; ++p)
                unaccented[static_cast<unsigned char>(*p)] = to;
    }
};

const ByteTables& tables() {
    static const ByteTables t;
    return t;
}

// The next character of `s` from `i` as its Windows-1252 byte, or 0 for one the code page
// lacks (and for a byte that is not well-formed UTF-8).
unsigned char nextByte(std::string_view s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    return static_cast<unsigned char>(windows1252Byte(nextCharacter(s, i)));
}

// Words of the index, each a number; an entry is a word in one context (2 * word + context).
class Words {
public:
    std::uint32_t id(const std::string& word) {
        auto [it, added] = m_ids.try_emplace(word, static_cast<std::uint32_t>(m_words.size()));
        if (added)
            m_words.push_back(&it->first);
        return it->second;
    }
    const std::string& word(std::uint32_t id) const { return *m_words[id]; }
    std::size_t size() const { return m_words.size(); }

private:
    std::unordered_map<std::string, std::uint32_t> m_ids;
    std::vector<const std::string*> m_words;
};

// A word met in a topic: its number, twice, plus 1 for a title's word; its position.
struct Occurrence {
    std::uint32_t key, position;
};

// A word where an entry's list has it: the topic and the position there.
struct Posting {
    std::uint32_t topic, position;
};

// Splits `text` into words, adding an occurrence of each (and of its unaccented form) at
// positions from `position` on, at most `room` words.
void addWords(std::string_view text, bool title, std::uint32_t& position, std::uint32_t room,
              Words& words, std::vector<Occurrence>& out) {
    const ByteTables& t = tables();
    std::string word, unaccented;
    bool accented = false;
    std::uint32_t added = 0;
    auto finish = [&] {
        if (word.empty() || added == room)
            return;
        out.push_back({2 * words.id(word) + title, position});
        if (accented)
            out.push_back({2 * words.id(unaccented) + title, position});
        ++position;
        ++added;
        word.clear();
        unaccented.clear();
        accented = false;
    };
    for (std::size_t i = 0; i < text.size() && added < room;) {
        const unsigned char c = t.lower[nextByte(text, i)];
        if (c == 0) {
            finish();
            continue;
        }
        if (word.size() == kFullTextMaxWord)
            continue; // the rest of a word too long to keep
        word += static_cast<char>(c);
        if (const char* plain = t.unaccented[c]) {
            accented = true;
            unaccented += plain;
        } else {
            unaccented += static_cast<char>(c);
        }
        if (unaccented.size() > kFullTextMaxWord)
            unaccented.resize(kFullTextMaxWord);
    }
    finish();
}

class BitWriter {
public:
    explicit BitWriter(std::string& out) : m_out(out) {}
    void put(std::uint64_t bits, unsigned count) {
        while (count > 0) {
            const unsigned n = std::min(count, 8 - m_used);
            const auto part = static_cast<unsigned>((bits >> (count - n)) & ((1u << n) - 1));
            m_byte = static_cast<unsigned char>(m_byte | (part << (8 - m_used - n)));
            m_used += n;
            count -= n;
            if (m_used == 8)
                flush();
        }
    }
    // Scale 2, root `root`.
    void putScaleRoot(std::uint64_t value, unsigned root) {
        const unsigned n = bitLength(value);
        if (n <= root)
            return put(value, root + 1);
        put(((std::uint64_t{1} << (n - root)) - 1) << 1, n - root + 1);
        put(value, n - 1); // put() keeps the low n - 1 bits
    }
    void align() {
        if (m_used > 0)
            flush();
    }
    static unsigned bitLength(std::uint64_t v) {
        unsigned n = 0;
        for (; v != 0; v >>= 1)
            ++n;
        return n;
    }

private:
    void flush() {
        m_out += static_cast<char>(m_byte);
        m_byte = 0;
        m_used = 0;
    }
    std::string& m_out;
    unsigned char m_byte = 0;
    unsigned m_used = 0;
};

// How often each bit length comes, and the root that codes them in the fewest bits.
struct Lengths {
    std::array<std::uint64_t, 65> count{};
    void add(std::uint64_t v) { ++count[BitWriter::bitLength(v)]; }
    unsigned bestRoot() const {
        unsigned best = 0;
        std::uint64_t bestBits = ~std::uint64_t{0};
        for (unsigned r = 0; r <= 32; ++r) {
            std::uint64_t bits = 0;
            for (unsigned n = 0; n < count.size(); ++n)
                bits += count[n] * (n <= r ? r + 1 : 2 * n - r);
            if (bits < bestBits) {
                bestBits = bits;
                best = r;
            }
        }
        return best;
    }
};

// 7 bits a byte, least significant group first.
void putCompressed(std::string& s, std::uint64_t v) {
    while (v >= 0x80) {
        s += static_cast<char>((v & 0x7F) | 0x80);
        v >>= 7;
    }
    s += static_cast<char>(v);
}

std::size_t sharedPrefix(std::string_view a, std::string_view b) {
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n])
        ++n;
    return n;
}

void putWord(std::string& s, std::string_view word, std::string_view previous) {
    const std::size_t shared = sharedPrefix(word, previous);
    s += static_cast<char>(word.size() - shared + 1);
    s += static_cast<char>(shared);
    s.append(word.substr(shared));
}

// A node being filled: its bytes and its last word.
struct Node {
    std::string bytes;
    std::string lastWord;
};

std::string finishNode(std::string bytes, std::size_t freeAt) {
    const std::size_t free = kFullTextNodeSize - bytes.size();
    set16(bytes, freeAt, static_cast<std::uint32_t>(free));
    bytes.resize(kFullTextNodeSize, '\0');
    return bytes;
}

struct Child {
    std::string lastWord;
    std::size_t offset;
};

std::string indexEntry(const Child& c, std::string_view previous) {
    std::string s;
    putWord(s, c.lastWord, previous);
    put32(s, static_cast<std::uint32_t>(c.offset));
    put16(s, 0);
    return s;
}

// Index nodes over `children`, appended to `out`; their last words and offsets.
//
// chmlib's search (and so its Python binding's) goes on reading a node below the root from
// where its entry stood in the root, not from the node's start. With `rootEntries`, the
// nodes are made for the root alone to stand above them, and each starts with a copy of the
// root's entries before its own (whose words are below any word looked for in it, so readers
// that start at the beginning pass them by); the root's entries are left in `rootEntries`.
// Nothing when the root would not hold them.
std::optional<std::vector<Child>> indexLevel(const std::vector<Child>& children, std::string& out,
                                             std::string* rootEntries) {
    constexpr std::size_t kLongestEntry = 2 + kFullTextMaxWord + 6;
    std::vector<Child> up;
    std::string bytes, last, rootLast;
    auto open = [&] {
        bytes.assign(kIndexNodeHeader, '\0');
        if (rootEntries)
            bytes += *rootEntries;
        last.clear();
        return bytes.size() + kLongestEntry <= kFullTextNodeSize;
    };
    auto close = [&] {
        up.push_back({last, out.size()});
        out += finishNode(std::move(bytes), 0);
        if (rootEntries) {
            *rootEntries += indexEntry(up.back(), rootLast);
            rootLast = last;
        }
    };
    if (!open())
        return std::nullopt;
    for (const Child& c : children) {
        std::string e = indexEntry(c, last);
        if (bytes.size() + e.size() > kFullTextNodeSize) {
            close();
            if (!open())
                return std::nullopt;
            e = indexEntry(c, {});
        }
        bytes += e;
        last = c.lastWord;
    }
    close();
    if (rootEntries && kIndexNodeHeader + rootEntries->size() > kFullTextNodeSize)
        return std::nullopt;
    return up;
}

} // namespace

struct FullTextIndexBuilder::State {
    std::uint32_t lcid;
    Words words;
    std::vector<Occurrence> occurrences;
    struct Span {
        std::uint32_t topic;
        std::size_t begin, end; // in `occurrences`
        std::uint32_t positions;
    };
    std::vector<Span> spans;
};

FullTextIndexBuilder::FullTextIndexBuilder(std::uint32_t lcid) : m(new State{lcid, {}, {}, {}}) {}

FullTextIndexBuilder::~FullTextIndexBuilder() = default;

void FullTextIndexBuilder::add(std::uint32_t topic, std::string_view text, std::string_view title) {
    State::Span span{topic, m->occurrences.size(), 0, 0};
    addWords(title, true, span.positions, kFullTextMaxTopicWords, m->words, m->occurrences);
    addWords(text, false, span.positions, kFullTextMaxTopicWords - span.positions, m->words,
             m->occurrences);
    span.end = m->occurrences.size();
    m->spans.push_back(span);
}

std::string FullTextIndexBuilder::finish() {
    const std::uint32_t lcid = m->lcid;
    Words& words = m->words;
    std::vector<Occurrence>& occurrences = m->occurrences;
    std::vector<State::Span>& spans = m->spans;
    std::stable_sort(spans.begin(), spans.end(),
                     [](const State::Span& a, const State::Span& b) { return a.topic < b.topic; });
    const std::uint32_t topicCount = spans.empty() ? 0 : spans.back().topic + 1;

    // The postings grouped by entry (a word in the text, then in titles), in topic and
    // position order. A title's words are the text's too: a reader that finds a word's text
    // entry stops there, without its title entry.
    const std::size_t entryCount = 2 * words.size();
    std::vector<std::uint32_t> start(entryCount + 1, 0);
    for (const Occurrence& o : occurrences) {
        ++start[(o.key & ~1u) + 1];
        if (o.key & 1)
            ++start[o.key + 1];
    }
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<Posting> grouped(start.back());
    {
        std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
        std::uint32_t base = 0; // a topic given twice goes on where it stopped
        for (std::size_t k = 0; k < spans.size(); ++k) {
            const State::Span& span = spans[k];
            base = k > 0 && spans[k - 1].topic == span.topic ? base + spans[k - 1].positions : 0;
            for (std::size_t i = span.begin; i < span.end; ++i) {
                const Occurrence& o = occurrences[i];
                const Posting p{span.topic, base + o.position};
                grouped[next[o.key & ~1u]++] = p;
                if (o.key & 1)
                    grouped[next[o.key]++] = p;
            }
        }
    }
    std::vector<Occurrence>().swap(occurrences);

    // The roots that make the codes shortest.
    Lengths docs, counts, places;
    for (std::size_t e = 0; e < entryCount; ++e) {
        std::uint32_t lastTopic = 0;
        for (std::uint32_t i = start[e]; i < start[e + 1];) {
            const std::uint32_t topic = grouped[i].topic;
            docs.add(topic - lastTopic);
            lastTopic = topic;
            std::uint32_t lastPlace = 0, n = 0;
            for (; i < start[e + 1] && grouped[i].topic == topic; ++i, ++n) {
                places.add(grouped[i].position - lastPlace);
                lastPlace = grouped[i].position;
            }
            counts.add(n);
        }
    }
    const unsigned docRoot = docs.bestRoot(), countRoot = counts.bestRoot(),
                   placeRoot = places.bestRoot();

    // Words in the order readers compare them: by byte, all being lowercase.
    std::vector<std::uint32_t> sorted(words.size());
    std::iota(sorted.begin(), sorted.end(), 0u);
    std::sort(sorted.begin(), sorted.end(),
              [&](std::uint32_t a, std::uint32_t b) { return words.word(a) < words.word(b); });

    std::string out(kHeaderSize, '\0');
    std::string wlc;
    struct Block {
        std::uint32_t offset = 0, size = 0, topics = 0;
    };
    std::vector<Block> blocks(entryCount);
    for (std::uint32_t w : sorted)
        for (std::uint32_t e = 2 * w; e < 2 * w + 2; ++e) {
            if (start[e] == start[e + 1])
                continue;
            Block& b = blocks[e];
            b.offset = static_cast<std::uint32_t>(kHeaderSize + wlc.size());
            BitWriter bits(wlc);
            std::uint32_t lastTopic = 0;
            for (std::uint32_t i = start[e]; i < start[e + 1];) {
                const std::uint32_t topic = grouped[i].topic;
                std::uint32_t end = i;
                while (end < start[e + 1] && grouped[end].topic == topic)
                    ++end;
                bits.putScaleRoot(topic - lastTopic, docRoot);
                lastTopic = topic;
                bits.putScaleRoot(end - i, countRoot);
                std::uint32_t lastPlace = 0;
                for (; i < end; ++i) {
                    bits.putScaleRoot(grouped[i].position - lastPlace, placeRoot);
                    lastPlace = grouped[i].position;
                }
                bits.align();
                ++b.topics;
            }
            b.size = static_cast<std::uint32_t>(kHeaderSize + wlc.size() - b.offset);
        }
    out += wlc;
    std::string().swap(wlc);

    // The leaves.
    std::vector<Node> leaves;
    Node leaf;
    leaf.bytes.assign(kLeafNodeHeader, '\0');
    std::uint64_t totalLength = 0, longest = 0;
    for (std::uint32_t w : sorted) {
        const std::string& word = words.word(w);
        longest = std::max<std::uint64_t>(longest, word.size());
        totalLength += word.size();
        auto entries = [&](std::string_view previous) {
            std::string s;
            for (std::uint32_t context = 0; context < 2; ++context) {
                const Block& b = blocks[2 * w + context];
                if (b.topics == 0)
                    continue;
                putWord(s, word, previous);
                previous = word;
                s += static_cast<char>(context);
                putCompressed(s, b.topics);
                put32(s, b.offset);
                put16(s, 0);
                putCompressed(s, b.size);
            }
            return s;
        };
        std::string e = entries(leaf.lastWord);
        if (leaf.bytes.size() + e.size() > kFullTextNodeSize) {
            leaves.push_back(std::move(leaf));
            leaf = Node();
            leaf.bytes.assign(kLeafNodeHeader, '\0');
            e = entries({});
        }
        leaf.bytes += e;
        leaf.lastWord = word;
    }
    leaves.push_back(std::move(leaf));
    const std::size_t lastLeafFree = kFullTextNodeSize - leaves.back().bytes.size();
    const std::size_t firstLeaf = out.size();
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        std::string bytes = finishNode(std::move(leaves[i].bytes), 6);
        if (i + 1 < leaves.size())
            set32(bytes, 0, static_cast<std::uint32_t>(out.size() + kFullTextNodeSize));
        out += bytes;
    }

    // The index levels, until one node holds them all.
    std::vector<Child> level;
    for (std::size_t i = 0; i < leaves.size(); ++i)
        level.push_back({std::move(leaves[i].lastWord), firstLeaf + i * kFullTextNodeSize});
    std::uint32_t depth = 1;
    while (level.size() > 1) {
        const std::size_t mark = out.size();
        std::vector<Child> up = *indexLevel(level, out, nullptr);
        ++depth;
        if (up.size() > 1) { // a root to come above them: made mirrored in them when it fits
            const std::string plain = out.substr(mark);
            out.resize(mark);
            std::string rootEntries;
            if (indexLevel(level, out, &rootEntries)) {
                up = {{{}, out.size()}};
                out += finishNode(std::string(kIndexNodeHeader, '\0') + rootEntries, 0);
                ++depth;
            } else {
                out.resize(mark);
                out += plain;
            }
        }
        level = std::move(up);
    }
    const auto root = static_cast<std::uint32_t>(level.front().offset);

    std::string h;
    h += std::string("\0\0\x28\0", 4);
    put32(h, topicCount);
    put32(h, root);
    put32(h, 0);
    put32(h, static_cast<std::uint32_t>(leaves.size()));
    put32(h, root); // the readers on Linux take this copy
    put16(h, depth);
    put32(h, 7);
    for (unsigned r : {docRoot, countRoot, placeRoot}) {
        h += '\x02'; // scale
        h += static_cast<char>(r);
    }
    h.append(10, '\0');
    put32(h, kFullTextNodeSize);
    put32(h, 1);
    put32(h, 0); // statistics of words given twice: not kept
    put32(h, 0);
    put32(h, static_cast<std::uint32_t>(longest));
    put32(h, static_cast<std::uint32_t>(grouped.size())); // words indexed
    put32(h, static_cast<std::uint32_t>(words.size()));   // distinct words
    put64(h, totalLength);
    put32(h, static_cast<std::uint32_t>(totalLength));
    put32(h, static_cast<std::uint32_t>(lastLeafFree));
    put32(h, 0);
    put32(h, topicCount > 0 ? topicCount - 1 : 0);
    h.resize(0x7A, '\0');
    put32(h, kCodePage);
    put32(h, lcid);
    out.replace(0, h.size(), h);
    return out;
}

std::string fullTextIndex(const std::vector<SearchableTopic>& topics, std::uint32_t lcid) {
    FullTextIndexBuilder index(lcid);
    for (const SearchableTopic& t : topics)
        index.add(t.topic, t.text, t.title);
    return index.finish();
}

} // namespace kvx::chm
