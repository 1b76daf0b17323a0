// The Index tab's "Use existing files to build Index": the pages, the compile the window waits
// for, the last index, the clean-up and the result dialog.

#include "app/main_window.h"

#include "app/answering.h"
#include "app/application.h"
#include "app/message_box.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "files/folder_work.h"
#include "index/index_build.h"
#include "index/result_dialog.h"
#include "index/tool_folder.h"
#include "report/wait_window.h"

#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>

std::chrono::milliseconds TForm1::CompileCloseGrace{10000};

namespace {

const char* const kCannotDelete = "The file %1 could not be deleted.\n%2";
// A compiler asked to end that does not is ended this much later.
constexpr int kKillAfterMs = 2000;

} // namespace

void TForm1::connectIndexBuildHandlers() {
    connect(SpeedButton7, &QToolButton::clicked, this,
            [this] { kvx::runHandler([this] { SpeedButton7Click(); }); });
    connect(SpeedButton8, &QToolButton::clicked, this,
            [this] { kvx::runHandler([this] { SpeedButton8Click(); }); });
}

void TForm1::SpeedButton7Click() {
    if (!commandState().buildFromReports.enabled)
        return;
    buildThenShow();
}

void TForm1::buildThenShow() {
    bool built = false;
    {
        const Running compile(this, kvx::Operation::Compile);
        built = BuildIndex();
    }
    if (built && !Busy.closeRequested())
        Form2->exec();
}

void TForm1::indexBuildError(const QString& text) {
    // The wait window stays on top: it would hide the box.
    if (Form4)
        Form4->hide();
    kvx::showError(text);
}

kvx::IndexCompile TForm1::compileIndexFolder(const std::string& folder, const std::string& work) {
    kvx::IndexCompiler compiler(kvx::toolFolderFile(kvx::kCompilerName), folder, IndexFileName(),
                                work);
    if (!compiler.start())
        return compiler.result();
    // While a close waits, the compiler has its grace, is asked to end, then is ended.
    QTimer grace;
    grace.setSingleShot(true);
    connect(&grace, &QTimer::timeout, &compiler, [&compiler] {
        compiler.terminate();
        QTimer::singleShot(kKillAfterMs, &compiler, [&compiler] { compiler.kill(); });
    });
    const auto closing = [&grace] {
        if (!grace.isActive())
            grace.start(CompileCloseGrace);
    };
    connect(this, &TForm1::closeRequested, &grace, closing);
    if (Busy.closeRequested())
        closing();
    QEventLoop loop;
    connect(&compiler, &kvx::IndexCompiler::finished, &loop, &QEventLoop::quit);
    // Woken by the compiler's end; the window stays live meanwhile.
    if (compiler.running())
        loop.exec();
    return compiler.result();
}

bool TForm1::BuildIndex() {
    // The folder of this build, whatever the tree shows once the window has answered.
    const std::string folder = IndexFolder();
    if (folder.empty())
        return false;
    // The pages list the Index tab's reports as they stand (its buttons are live only once
    // they are read for the tree's folder), taken before the window answers: the user may pick
    // another folder during the build. They are shared, not copied (100,000 names are megabytes).
    kvx::NameList reports = ReportList();
    Form4->showCentredOn(this);
    const auto closeWaitWindow = qScopeGuard([] {
        if (Form4)
            Form4->hide();
    });
    // Every step on the folder runs with the window answering: at 100,000 reports each takes
    // a good part of a second. A close heard meanwhile ends the build after the step.
    FileListBox2->setReadAnswering(true);
    const auto readAtOnce = qScopeGuard([this] { FileListBox2->setReadAnswering(false); });
    // Marked at work in the folder from the first page to the last deletion, so that another
    // copy's clean-up leaves what we stage alone; the compiler works under the same marker.
    kvx::FolderWork work;
    kvx::whileAnswering([&work, &folder] {
        std::string ignored;
        return work.begin(folder, ignored);
    });
    const auto workEnds = qScopeGuard([&work] {
        kvx::whileAnswering([&work] {
            work.end();
            return true;
        });
    });
    if (!WriteIndexPages(folder, reports) || Busy.closeRequested())
        return false;

    const kvx::IndexCompile compiled = compileIndexFolder(folder, work.name());
    if (!compiled.ok) {
        // A compile ended for a close keeps the earlier index and says nothing.
        if (!Busy.closeRequested())
            indexBuildError(compiled.message);
        return false;
    }
    kvx::SettingCopies.lastchm = compiled.indexFile;
    Settings.writeText("lastchm", kvx::SettingCopies.lastchm);

    // Only the reports the pages list, once they are compiled: one written meanwhile stays.
    const bool pictures = kvx::SettingCopies.effjpg == "1",
               pages = kvx::SettingCopies.effhtml == "1";
    const kvx::IndexCleanup cleanup = kvx::whileAnswering([&folder, &reports, pictures, pages] {
        return kvx::cleanUpIndexFolder(folder, reports, pictures, pages);
    });
    reports.clear(); // not held while the folder is listed again
    // Label12 counts what is left, in the folder the tab shows now.
    ShellTreeView2Change();
    if (!cleanup.ok) {
        indexBuildError(QString::fromLatin1(kCannotDelete).arg(cleanup.failedPath, cleanup.reason));
        return false;
    }
    return true;
}
