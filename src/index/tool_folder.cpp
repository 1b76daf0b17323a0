#include "index/tool_folder.h"

#include "app/settings/settings_store.h"

namespace kvx {

const char* const kCompilerName = "hhc.exe";
const char* const kViewerName = "hh.exe";
const char* const kHelpFileName = "help_korvenix31.chm";

QString toolFolderFile(const char* name) {
    return QString::fromStdString(SettingCopies.path) + QLatin1Char('/') + QLatin1String(name);
}

const std::string& lastIndexFile() {
    return SettingCopies.lastchm;
}

} // namespace kvx
