#pragma once
// The index build's steps around the page writer: the help compiler started on the folder and
// its output put in place, and the clean-up of what the build and the reports wrote. GUI-free:
// the compiler is started here and its end reported; the window waits for it.

#include "files/folder_work.h"
#include "files/name_list.h"
#include "index/run_program.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kvx {

struct IndexCompile {
    bool ok = false;
    std::string indexFile; // the folder, "/" and the index file name, as bytes
    QString message;       // why it failed, for the error box
};

// The compiler run on "<folder>/index.htm" (quoted, minimised, see callOnFile), which must
// leave a new <folder>/hhctest.chm.
class IndexCompiler : public QObject {
    Q_OBJECT
public:
    // `folder` is the folder's path as the file system gives it; `indexName` the bare name
    // the compiled index takes there; `work` the marker of the build's work in the folder,
    // which the compiler works under.
    IndexCompiler(const QString& compiler, const std::string& folder, const QString& indexName,
                  const std::string& work = std::string());

    // Takes the folder's turn around hhctest.chm (waiting for another copy's compile to end,
    // the window answering) and starts the compiler. False when it cannot be started:
    // result() then says why.
    bool start();
    bool running() const { return m_waitingTurn || m_run.running(); }
    // Asks the compiler to end, then ends it: what it leaves is not used.
    void terminate();
    void kill();

    // Once it has ended: renames the hhctest.chm it left to the index name, replacing an
    // earlier index in one step. When it could not be started, was ended, left no new
    // hhctest.chm or did not exit with status 0, the earlier index is untouched and `message`
    // says why, with the compiler's own words when it gave some; a hhctest.chm it wrote that
    // is not used (a failed compile, a name that cannot be taken) is removed.
    IndexCompile result();

signals:
    void finished();

private:
    struct FileStamp {
        dev_t device;
        ino_t inode;
        off_t size;
        long seconds, nanoseconds;
        bool operator==(const FileStamp& o) const;
    };
    static std::optional<FileStamp> stampOf(const std::string& path);
    IndexCompile failed(const QString& why) const;
    bool tryStart();
    bool launch();

    QString m_compiler;
    std::string m_folder, m_work;
    FolderTurn m_turn;
    QTimer m_turnRetry;
    bool m_waitingTurn = false;
    QString m_turnError;
    std::string m_indexPath;
    std::string m_output;
    std::string m_page;
    std::optional<FileStamp> m_before;
    ProgramRun m_run;
    bool m_started = false;
    bool m_ended = false;
};

struct IndexCleanup {
    bool ok = true;
    QString failedPath; // the page that could not be deleted
    QString reason;     // the system's text for it
};

// What the options ask to delete once the index is compiled, and nothing else of the folder:
// `reports` are the pages the index pages listed (bare names, as written); of them only the
// report pages ("plan.dwg.htm") are ours.
// pictures: the picture of each of them; one that is missing or cannot be deleted is passed
// over. pages: each of them and the five index pages; the first that cannot be deleted stops
// the clean-up. A report written since, or a user's own *.htm and *.jpg, stay.
IndexCleanup cleanUpIndexFolder(const std::string& folder, const NameList& reports, bool pictures,
                                bool pages);

} // namespace kvx
