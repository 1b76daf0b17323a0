#pragma once
// The tool folder named by the "path" setting, and the files it holds. Paths in it are the
// folder, "/" and the file name, the folder taken as stored.

#include <QString>
#include <string>

namespace kvx {

extern const char* const kCompilerName; // "hhc.exe"
extern const char* const kViewerName;   // "hh.exe"
extern const char* const kHelpFileName; // "help_korvenix31.chm"

// The tool folder from the settings, "/" and `name`.
QString toolFolderFile(const char* name);

// The last index file's path as bytes, as loaded from "lastchm" at start-up or set by the
// last build.
const std::string& lastIndexFile();

} // namespace kvx
