#include "files/report_names.h"

#include "files/ascii.h"

#include <algorithm>

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
    return endsWithIgnoringAsciiCase(name, ".dwg.htm");
}

} // namespace kvx
