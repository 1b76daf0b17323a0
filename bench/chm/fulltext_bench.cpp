// The full-text index over the text of realistic report pages: 1,000 and 100,000 of them
// (names from a drawing office's words with numbers and accents, locations, releases, dates
// and sizes). Reported beside the time: the index's size, its leaves and its depth.

#include "chm/fulltext_index.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<kvx::chm::SearchableTopic> reports(int count) {
    static const char* const kinds[] = {"PLAN",
                                        "COUPE",
                                        "FA\xC3\x87"
                                        "ADE",
                                        "D\xC3\x89TAIL",
                                        "IMPLANTATION",
                                        "\xC3\x89L\xC3\x89VATION",
                                        "R\xC3\x89SEAU",
                                        "TOITURE",
                                        "CHAUFFAGE",
                                        "VRD"};
    static const char* const levels[] = {"RDC", "R+1", "R+2", "SOUS-SOL", "COMBLES", "ENSEMBLE"};
    static const char* const versions[] = {"AutoCAD 2018/2019/2020/2021", "AutoCAD 2013/2014",
                                           "AutoCAD 2010/2011/2012", "AutoCAD 2004/2005/2006",
                                           "Version 2000/2000i/2002"};
    std::mt19937 rng(42);
    auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
    std::vector<kvx::chm::SearchableTopic> topics;
    for (int i = 0; i < count; ++i) {
        char name[96], text[512];
        std::snprintf(name, sizeof name, "%s %s %s-%04u ind %c", kinds[pick(10)], levels[pick(6)],
                      i % 2 ? "B\xC3\xA2t" : "Lot", pick(10000), static_cast<char>('A' + pick(6)));
        std::snprintf(text, sizeof text,
                      "File name: %s Location: /home/claire/Projets/Lyc\xC3\xA9"
                      "e Jean Moulin/"
                      "Plans/Lot %u/%s.dwg Version: %s Date: %02u/%02u/20%02u %02u:%02u:%02u "
                      "Size: %u octets",
                      name, pick(12), name, versions[pick(5)], 1 + pick(28), 1 + pick(12), pick(27),
                      pick(24), pick(60), pick(60), 20000 + pick(4000000));
        topics.push_back({static_cast<std::uint32_t>(i + 5), text, name});
    }
    return topics;
}

void BM_FullTextIndex(benchmark::State& state) {
    const auto topics = reports(static_cast<int>(state.range(0)));
    std::size_t textBytes = 0;
    for (const auto& t : topics)
        textBytes += t.text.size() + t.title.size();
    std::string index;
    for (auto _ : state) {
        index = kvx::chm::fullTextIndex(topics);
        benchmark::DoNotOptimize(index.data());
    }
    auto field = [&](std::size_t at) {
        return static_cast<double>(
            static_cast<unsigned char>(index[at]) | static_cast<unsigned char>(index[at + 1]) << 8 |
            static_cast<unsigned char>(index[at + 2]) << 16 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(index[at + 3])) << 24);
    };
    state.counters["topics"] = static_cast<double>(topics.size());
    state.counters["index_MB"] = static_cast<double>(index.size()) / 1e6;
    state.counters["leaves"] = field(0x10);
    state.counters["depth"] = static_cast<double>(static_cast<unsigned char>(index[0x18]));
    state.counters["distinct_words"] = field(0x46);
    state.counters["postings"] = field(0x42);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * textBytes));
}

} // namespace

BENCHMARK(BM_FullTextIndex)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
