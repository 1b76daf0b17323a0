// Writes the hive fuzzer's starting inputs into a folder: hives as the setup command, the
// program and other editors write them. Each file's first byte picks the fuzzer's changes.
//   fuzz_hive_seedgen SEEDS

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// ASCII text as UTF-16LE with its byte-order mark.
std::string utf16(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_hive_seedgen SEEDS\n");
        return 2;
    }
    const std::string key = "[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]";
    const std::string seeds[] = {
        "REGEDIT4\r\n\r\n" + key + "\r\n\"autoname\"=dword:00000000\r\n\"path\"=\"/opt\"\r\n",
        "REGEDIT4\n" + key + "\n\"temp\"=\"4\"\n@=\"unnamed\"\n\"gone\"=-\n",
        "\xEF\xBB\xBFREGEDIT4\n; a comment\n[HKEY_CURRENT_USER\\Other]\n\"a\"=\"b\"\n\n" + key +
            "\n\"blob\"=hex:01,02,\\\n  03\n\"x\"=hex(2):41,00\n",
        "REGEDIT4\r\n" + key + "\r\n\"q\"=\"say \\\"hi\\\" \\\\ there\"",
        "REGEDIT4\n",
        // As Windows' and Wine's registry editors write them.
        utf16("Windows Registry Editor Version 5.00\r\n\r\n" + key +
              "\r\n\"autoname\"=dword:00000001\r\n\"p\"=hex(2):43,00,00,00\r\n[-HKEY_CURRENT_USER]"
              "\r\n"),
        "Windows Registry Editor Version 5.00\r" + key +
            "\r\"n\"=\"a\\nb\" ; note\r\"x\"=hex(2):41,00,00,00\r",
        "REGEDIT4\r\n" + key + "\r\n\"indexname\"=\"Plans \xE9t\xE9\"\r\n[-" + key.substr(1) +
            "\r\n",
    };
    std::filesystem::create_directories(argv[1]);
    int n = 0;
    for (const std::string& hive : seeds)
        for (const char pick : {'\x00', '\x11', '\x8f'}) {
            std::ofstream out(std::string(argv[1]) + "/hive-" + std::to_string(n++) + ".reg",
                              std::ios::binary);
            out << pick << hive;
        }
    return 0;
}
