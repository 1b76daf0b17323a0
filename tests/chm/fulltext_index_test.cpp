// The full-text index read back by an independent reader: the search of chmlib's Python
// binding (python3-chm), in a compiled file made by our writer. Skipped where it is missing.

#include "chm/chm_writer.h"
#include "chm/code_page.h"
#include "chm/fulltext_index.h"
#include "support/shell_quote.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using kvx::chm::SearchableTopic;

namespace {

const char* const kPython = "/usr/bin/python3";

bool pythonChmInstalled() {
    return std::system((std::string(kPython) + " -c 'import chm.chm' 2>/dev/null").c_str()) == 0;
}

struct Query {
    std::string word; // bytes, as a reader passes them
    bool whole = true, titlesOnly = false;
};
using Hits = std::set<std::string>; // the pages found

std::string hex(const std::string& s) {
    static const char* digits = "0123456789abcdef";
    std::string h;
    for (unsigned char c : s)
        h += {digits[c >> 4], digits[c & 15]};
    return h;
}

std::string unhex(const std::string& h) {
    std::string s;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2)
        s += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return s;
}

// Each query's hits, through the binding's search (every hit: its Search() keeps one a title).
std::vector<Hits> search(const fs::path& chm, const std::vector<Query>& queries) {
    const fs::path in = chm.string() + ".queries", out = chm.string() + ".hits",
                   script = chm.string() + ".py";
    std::ofstream(script) << R"(import sys
from chm import chm, _chmlib
f = chm.CHMFile()
assert f.LoadCHM(sys.argv[1].encode())
out = open(sys.argv[3], 'w')
for line in open(sys.argv[2]):
    whole, titles, word = line.split()
    hits = []
    _chmlib.search(f.file, bytes.fromhex(word), int(whole), int(titles),
                   lambda title, url: hits.append(url))
    out.write(' '.join(u.hex() for u in hits) + '\n')
)";
    {
        std::ofstream q(in);
        for (const Query& x : queries)
            q << x.whole << ' ' << x.titlesOnly << ' ' << hex(x.word) << '\n';
    }
    const std::string command = std::string(kPython) + " " + kvxtest::shellQuoted(script) + " " +
                                kvxtest::shellQuoted(chm) + " " + kvxtest::shellQuoted(in) + " " +
                                kvxtest::shellQuoted(out);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<Hits> result;
    std::ifstream o(out);
    for (std::string line; std::getline(o, line);) {
        std::istringstream words(line);
        Hits hits;
        for (std::string h; words >> h;)
            hits.insert(unhex(h));
        result.push_back(hits);
    }
    return result;
}

// The pages (as "/pNNNNN.htm") as the writer's topics, with the index over them.
void writeChm(const fs::path& path, const std::vector<SearchableTopic>& topics) {
    std::vector<SearchableTopic> ordered = topics;
    std::sort(ordered.begin(), ordered.end(),
              [](const SearchableTopic& a, const SearchableTopic& b) { return a.topic < b.topic; });
    std::vector<kvx::chm::ChmFile> files;
    kvx::chm::ChmOptions options;
    for (const SearchableTopic& t : ordered) {
        ASSERT_EQ(t.topic, options.topics.size()); // topic numbers are entry numbers
        char name[32];
        std::snprintf(name, sizeof name, "/p%05u.htm", t.topic);
        files.push_back({name, true, "<html><body>" + t.text + "</body></html>", nullptr});
        options.topics.push_back({name, kvx::chm::windows1252(t.title), false});
    }
    options.fullTextIndex = kvx::chm::fullTextIndex(topics);
    options.title = "Plans";
    options.defaultTopic = "p00000.htm";
    ASSERT_TRUE(kvx::chm::writeChm(path.string(), files, options));
}

class FullTextIndex : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pythonChmInstalled())
            GTEST_SKIP() << "python3-chm is not installed";
        m_dir = fs::temp_directory_path() / ("kvx-fts-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    fs::path m_dir;
};

std::string page(std::uint32_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "p%05u.htm", n);
    return name;
}

TEST_F(FullTextIndex, EachWordFindsThePagesItIsOnAsReadersLookItUp) {
    const std::string longWord(300, 'x');
    const std::vector<SearchableTopic> topics = {
        {0,
         "File name: \xC3\x89l\xC3\xA9vation fa\xC3\xA7"
         "ade Nord\nVersion 2018 08/12/2026",
         "Plan Nord"},
        {1, "File name: \xD0\x9F\xD0\xBB\xD0\xB0\xD0\xBD 3 Version 2000 09/12/2026", ""},
        {2, "File name: \xE5\xB9\xB3\xE9\x9D\xA2 A#1%2&3 l'\xC5\x93uvre Version 2018", ""},
        {3, "mur Mur MUR, mur-mur", ""},
        {4, "long " + longWord, ""},
        {5,
         "plan du rez-de-chauss\xC3\xA9"
         "e",
         "Coupe \xC3\xA9tage"},
    };
    writeChm(m_dir / "plans.chm", topics);
    const std::string cut = longWord.substr(0, kvx::chm::kFullTextMaxWord);
    // Table: query, pages found. Words come lowercased, in Windows-1252, as readers pass them.
    const std::vector<std::pair<Query, Hits>> table = {
        {{"\xE9l\xE9vation"}, {"p00000.htm"}}, // accented, as typed
        {{"elevation"}, {"p00000.htm"}},       // and without its accents
        {{"fa\xE7"
          "ade"},
         {"p00000.htm"}},
        {{"facade"}, {"p00000.htm"}},
        {{"2018"}, {"p00000.htm", "p00002.htm"}},
        {{"12"}, {"p00000.htm", "p00001.htm"}}, // dates split at "/"
        {{"3"}, {"p00001.htm", "p00002.htm"}},  // Cyrillic and "&" separate words
        {{"a"}, {"p00002.htm"}},
        {{"\x9C"
          "uvre"},
         {"p00002.htm"}}, // œ, after an apostrophe
        {{"oeuvre"}, {"p00002.htm"}},
        {{"mur"}, {"p00003.htm"}}, // five times in one page, once a hit
        {{cut}, {"p00004.htm"}},
        {{longWord}, {}}, // kept up to the longest a node carries
        {{"lon", false}, {"p00004.htm"}},
        {{"chauss", false}, {"p00005.htm"}},
        {{"rez"}, {"p00005.htm"}},
        {{"coupe"}, {"p00005.htm"}},
        {{"coupe", true, true}, {"p00005.htm"}},
        {{"\xE9tage", true, true}, {"p00005.htm"}},
        {{"plan", true, true}, {"p00000.htm"}}, // in a title and in a page's text
        {{"plan"}, {"p00000.htm", "p00005.htm"}},
        {{"name"}, {"p00000.htm", "p00001.htm", "p00002.htm"}},
        {{"absent"}, {}},
    };
    std::vector<Query> queries;
    for (const auto& row : table)
        queries.push_back(row.first);
    const std::vector<Hits> hits = search(m_dir / "plans.chm", queries);
    ASSERT_EQ(hits.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(hits[i], table[i].second) << "query " << i << ": " << table[i].first.word;
}

// Word number n of 120,000: seven letters, spread over the alphabet's order.
std::string wordOf(std::uint32_t n) {
    std::uint32_t v = n * 2654435761u; // one to one
    std::string w(7, 'a');
    for (char& c : w) {
        c = static_cast<char>('a' + v % 26);
        v /= 26;
    }
    return w;
}

// Thousands of pages with a word on each and 120,000 words in all: leaves under two index
// levels, which chmlib's search walks from the root's entry's place onwards.
TEST_F(FullTextIndex, ManyPagesSpreadOverLeavesUnderIndexLevels) {
    std::vector<SearchableTopic> topics;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        std::string text = "commun Version 2018 niveau" + std::to_string(i % 7);
        for (std::uint32_t k = 0; k < 40; ++k)
            text += " " + wordOf(k * 3000 + i);
        topics.push_back({i, text, ""});
    }
    const std::string index = kvx::chm::fullTextIndex(topics);
    ASSERT_GE(index.size(), 0x82u);
    EXPECT_EQ(index[0x18], 3) << "two index levels above the leaves";
    writeChm(m_dir / "many.chm", topics);

    std::vector<Query> queries = {{"commun"}, {"niveau3"}, {"niveau", false}};
    std::vector<std::uint32_t> sample; // words, each on page word % 3000
    for (std::uint32_t w = 0; w < 120000; w += 1999)
        sample.push_back(w);
    sample.push_back(119999);
    for (std::uint32_t w : sample)
        queries.push_back({wordOf(w)});
    const std::vector<Hits> hits = search(m_dir / "many.chm", queries);
    ASSERT_EQ(hits.size(), queries.size());
    EXPECT_EQ(hits[0].size(), 3000u);
    EXPECT_EQ(hits[1].size(), 429u);  // 3, 10, ... 2999
    EXPECT_EQ(hits[2].size(), 3000u); // niveau0 .. niveau6
    for (std::size_t k = 0; k < sample.size(); ++k)
        EXPECT_EQ(hits[3 + k], Hits{page(sample[k] % 3000)}) << queries[3 + k].word;
}

} // namespace
