#include "files/report_names.h"

#include <algorithm>
#include <cctype>

namespace kvx {

std::string reportPictureOf(const std::string& drawing) {
    return drawing + ".jpg";
}

std::string reportPageOf(const std::string& drawing) {
    return drawing + ".htm";
}

std::string reportImageName(const std::string& reportFile) {
    return reportFile.substr(0, reportFile.size() - std::min<std::size_t>(3, reportFile.size())) +
           "jpg";
}

bool isReportPageName(const std::string& name) {
    static const std::string ending = ".dwg.htm";
    if (name.size() < ending.size())
        return false;
    return std::equal(ending.begin(), ending.end(), name.end() - ending.size(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

} // namespace kvx
