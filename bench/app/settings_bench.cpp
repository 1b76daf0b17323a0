// Cost of the settings store's file work: parsing a hive, a query (which re-reads the
// file) and a change (lock, re-read, temporary file, flush, rename).

#include "app/settings/hive_format.h"
#include "app/settings/registry_key.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31";

std::string fullHive() {
    return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n"
           "\"autoname\"=dword:00000000\r\n\"bigimage\"=dword:00000001\r\n"
           "\"path\"=\"/usr/lib/korvenix31/tools\"\r\n\"ontop\"=\"1\"\r\n\"supp\"=\"1\"\r\n"
           "\"ouvre\"=\"0\"\r\n\"temp\"=\"4\"\r\n\"lastchm\"=\"/home/u/Plans/index.chm\"\r\n"
           "\"start\"=\"0\"\r\n\"effhtml\"=\"1\"\r\n\"effjpg\"=\"0\"\r\n\"zoom\"=\"1\"\r\n"
           "\"indexname\"=\"Plans 2005\"\r\n\r\n";
}

class HiveFolder {
public:
    HiveFolder() {
        char templ[] = "/tmp/kvx-bench-XXXXXX";
        m_dir = ::mkdtemp(templ);
        std::ofstream(hive(), std::ios::binary) << fullHive();
    }
    ~HiveFolder() {
        ::unlink(hive().c_str());
        ::unlink((hive() + ".lock").c_str());
        ::rmdir(m_dir.c_str());
    }
    std::string hive() const { return m_dir + "/Korvenix31.reg"; }

private:
    std::string m_dir;
};

void BM_ParseHive(benchmark::State& state) {
    const std::string text = fullHive();
    for (auto _ : state) {
        kvx::HiveParseError error;
        benchmark::DoNotOptimize(kvx::HiveDocument::parse(text, error));
    }
}
BENCHMARK(BM_ParseHive);

void BM_QueryValue(benchmark::State& state) {
    HiveFolder folder;
    kvx::RegistryKey key;
    key.open(folder.hive(), kKey);
    kvx::RegValue value;
    for (auto _ : state)
        benchmark::DoNotOptimize(key.query("indexname", value));
}
BENCHMARK(BM_QueryValue);

void BM_SetString(benchmark::State& state) {
    HiveFolder folder;
    kvx::RegistryKey key;
    key.open(folder.hive(), kKey);
    int n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(key.setString("temp", std::to_string(1 + (n++ % 20))));
}
BENCHMARK(BM_SetString);

} // namespace

BENCHMARK_MAIN();
