#pragma once
// Free Pascal's chmcmd, for comparison in the benchmarks only: the project file that compiles
// a folder's pages and pictures with it.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kvxbench {

// chmcmd is no dependency of the project: the comparisons run only where it is installed.
inline bool chmcmdInstalled() {
    return std::system("command -v chmcmd >/dev/null 2>&1") == 0;
}

// The pages (*.htm) and pictures (*.jpg) of `folder`, sorted; chmcmd cannot carry names
// starting with a blank or ";", which are left out.
inline std::vector<std::string> chmcmdFiles(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        std::string l = name;
        std::transform(l.begin(), l.end(), l.begin(), [](unsigned char c) {
            return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        });
        const bool wanted = l.size() > 4 && (l.compare(l.size() - 4, 4, ".htm") == 0 ||
                                             l.compare(l.size() - 4, 4, ".jpg") == 0);
        if (wanted && name[0] != '.' && name[0] != ' ' && name[0] != ';' && e.is_regular_file())
            files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    return files;
}

inline std::string chmcmdProject(const std::string& compiledFile,
                                 const std::vector<std::string>& files) {
    std::string t = "[OPTIONS]\nCompiled file=" + compiledFile +
                    "\nDefault topic=index.htm\nTitle=plans\nLanguage=0x040c\n\n[FILES]\n";
    for (const std::string& f : files)
        t += f + "\n";
    return t;
}

} // namespace kvxbench
