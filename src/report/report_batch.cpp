#include "report/report_batch.h"


namespace kvx {

ReportBatch::ReportBatch(const std::string& folder, const NameList& drawings) {
    // Keys rather than the reports' paths: a folder of 100,000 drawings costs no more than the
    // list of their names.
    std::vector<std::uint32_t> keys;
    keys.reserve(2 * drawings.size());
    for (const std::string_view name : drawings) {
        const TemporaryKey drawing(name);
        keys.push_back(TemporaryKey(drawing).add(".jpg").value());
        keys.push_back(TemporaryKey(drawing).add(".htm").value());
    }
    // Another copy of the program may be in the middle of a batch here: only what has lain
    // untouched for an hour is taken as left by a killed one.
    removeLeftoverTemporariesIn(folder, std::move(keys), Leftovers::Stale);
    // Open before any report is written into it, so that the group's flush hears of them all;
    // a folder that cannot be opened fails each report's own write instead.
    std::string ignored;
    m_files.watchFolder(folder, ignored);
}

} // namespace kvx
