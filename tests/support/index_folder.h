#pragma once
// A folder as an index build leaves it: report pages and pictures with awkward names, and
// the five framed index pages. For the help tools' tests, benchmarks and screenshots.

#include <string>
#include <vector>

namespace kvxtest {

// Writes `reports` reports (name.dwg.htm and a real JPEG name.dwg.jpg) and the five index
// pages into `folder`, which must exist. Returns every file name written, sorted.
std::vector<std::string> writeIndexFolder(const std::string& folder, int reports);

} // namespace kvxtest
