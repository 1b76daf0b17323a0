#pragma once
// How a drawing's report files are named, in one place: the report writer, the batch, the
// index pages and the index build's clean-up all follow it. No Qt.

#include <string>

namespace kvx {

// "plan.dwg" (a name or a path) gives "plan.dwg.jpg" and "plan.dwg.htm".
std::string reportPictureOf(const std::string& drawing);
std::string reportPageOf(const std::string& drawing);

// The picture beside a report page: its name less the last three bytes, plus "jpg"
// ("a.b.dwg.htm" gives "a.b.dwg.jpg").
std::string reportImageName(const std::string& reportFile);

// A page the report writer names after its drawing: "plan.dwg.htm", any letter case.
bool isReportPageName(const std::string& name);

} // namespace kvx
