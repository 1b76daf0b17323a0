#pragma once
// Free Pascal's chmcmd, for comparison in the benchmarks only: the project file that compiles
// a folder's pages and pictures with it.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
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

// A project compiling `files`; with `contents` and `keywords` (sitemap files of the folder),
// also a contents, a keyword index, a window showing them and the full-text index, as
// hhc.exe writes them.
inline std::string chmcmdProject(const std::string& compiledFile,
                                 const std::vector<std::string>& files,
                                 const std::string& contents = {},
                                 const std::string& keywords = {}) {
    std::string t = "[OPTIONS]\nCompiled file=" + compiledFile +
                    "\nDefault topic=index.htm\nTitle=plans\nLanguage=0x040c\n";
    if (!contents.empty())
        t += "Contents file=" + contents + "\nIndex file=" + keywords +
             "\nFull-text search=Yes\nDefault Window=main\n\n[WINDOWS]\nmain=\"plans\",\"" +
             contents + "\",\"" + keywords +
             "\",\"index.htm\",\"index.htm\",,,,,0x2520,200,0x3046,,,,,,,,0\n";
    t += "\n[FILES]\n";
    for (const std::string& f : files)
        t += f + "\n";
    return t;
}

// A sitemap of `entries` (text, page), as a contents file or, with `keywords`, an index.
inline std::string sitemap(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string t = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<HTML>\n<HEAD>\n</HEAD>"
                    "<BODY>\n<UL>\n";
    for (const auto& [text, page] : entries)
        t += "<LI> <OBJECT type=\"text/sitemap\">\n<param name=\"Name\" value=\"" + text +
             "\">\n<param name=\"Local\" value=\"" + page + "\">\n</OBJECT>\n";
    return t + "</UL>\n</BODY></HTML>\n";
}

} // namespace kvxbench
