#pragma once
// The index build's steps around the page writer: the help compiler run and its output put
// in place, and the clean-up of what the build and the reports wrote. GUI-free.

#include <QString>
#include <string>

namespace kvx {

// A page the report writer names after its drawing: "plan.dwg.htm", any letter case.
bool isReportPageName(const QString& name);

struct IndexCompile {
    bool ok = false;
    std::string indexFile; // the folder, "/" and the index file name, as bytes
    QString message;       // why it failed, for the error box
};

// `folder` is the folder's path as the file system gives it.
// Runs `compiler` on the quoted "<folder>/index.htm" (runProgramOnFile) and waits for it with
// events running, then renames the <folder>/hhctest.chm it left to `indexName` in the folder,
// replacing an earlier index of that name in one step. When the compiler cannot be started or
// leaves no new hhctest.chm, or the rename fails, the folder's earlier index is untouched and
// `message` says why, with the compiler's own words when it gave some.
IndexCompile compileIndex(const QString& compiler, const std::string& folder,
                          const QString& indexName);

struct IndexCleanup {
    bool ok = true;
    QString failedPath; // the page that could not be deleted
    QString reason;     // the system's text for it
};

// What the options ask to delete after a build, and nothing else of the folder:
// pictures: the picture of every report page (its name less "htm", plus "jpg"); a picture
// that is missing or cannot be deleted is passed over.
// pages: every report page and the five index pages, in list order; the first that cannot
// be deleted stops the clean-up.
// A user's own *.htm and *.jpg (notes.htm, index.jpg) stay.
IndexCleanup cleanUpIndexFolder(const std::string& folder, bool pictures, bool pages);

} // namespace kvx
