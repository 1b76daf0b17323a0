#pragma once
// The five framed pages of a folder index, built from the folder and its report list and
// written beside the reports. GUI-free.

#include "drawing/folder_listing.h"
#include "files/name_list.h"
#include "files/report_names.h"

#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kvx {

// The index pages in the order they are written.
constexpr int kIndexPageCount = 5;
extern const char* const kIndexPages[kIndexPageCount];

// Whether `name` is one of the five index pages, letters compared without regard to case.
bool isIndexPageName(const QString& name);

// The pages `folder` holds that the index lists, as the Index tab lists them: its *.htm files
// but the index pages themselves (on a case-sensitive disk "Index.htm" is one of them too).
FolderListing listReportPages(const std::string& folder);

// The bytes of index page `page` (0 to 4, in writing order) for `folder` and its report
// pages `reports` (bare names, in list order), all as the file system gives them. Every line
// ends with CR LF.
std::string indexPage(int page, const std::string& folder, const NameList& reports);

// The same bytes handed to `sink` in pieces, without the page ever held whole; false when the
// sink refused a piece.
bool writeIndexPage(int page, const std::string& folder, const NameList& reports,
                    const std::function<bool(std::string_view)>& sink);

struct IndexPagesResult {
    bool ok = true;
    QString failedPath; // the page that could not be written
    int errorNumber = 0;
};

// Writes the pages in order, each replacing its namesake atomically. Stops at the first
// page that cannot be written; the pages before it stay written.
IndexPagesResult writeIndexPages(const std::string& folder, const NameList& reports);

} // namespace kvx
