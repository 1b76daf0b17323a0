// The Index tab's "Use existing files to build Index": the pages, the compile the window waits
// for, the last index, the clean-up and the result dialog.

#include "app/main_window.h"

#include "app/answering.h"
#include "app/application.h"
#include "app/message_box.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "index/index_build.h"
#include "index/index_pages.h"
#include "index/result_dialog.h"
#include "index/tool_folder.h"
#include "report/wait_window.h"

#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>
#include <stdexcept>

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
    buildThenShow(false);
}

void TForm1::buildThenShow(bool listJustRead) {
    bool built = false;
    {
        const Running compile(this, kvx::Operation::Compile);
        built = BuildIndex(listJustRead);
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

kvx::IndexCompile TForm1::compileIndexFolder(const std::string& folder) {
    kvx::IndexCompiler compiler(kvx::toolFolderFile(kvx::kCompilerName), folder, IndexFileName());
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

bool TForm1::BuildIndex(bool listJustRead) {
    // The folder of this build, whatever the tree shows once the window has answered.
    const std::string folder = IndexFolder();
    if (folder.empty())
        return false;
    Form4->showCentredOn(this);
    const auto closeWaitWindow = qScopeGuard([] {
        if (Form4)
            Form4->hide();
    });
    // Every step on the folder runs with the window answering: at 100,000 reports each takes
    // a good part of a second. A close heard meanwhile ends the build after the step.
    FileListBox2->setReadAnswering(true);
    const auto readAtOnce = qScopeGuard([this] { FileListBox2->setReadAnswering(false); });
    // The pages list the reports the folder holds now: the tab's list, read again unless the
    // batch has just read it, and shared rather than copied (100,000 names are megabytes). The
    // user may pick another folder while it is read; the build then lists its own.
    if (!listJustRead && !Busy.closeRequested())
        RefreshReportList();
    kvx::NameList reports;
    if (FileListBox2->nativeDirectory() == folder) {
        reports = FileListBox2->nativeNames();
    } else {
        kvx::FolderListing listing =
            kvx::whileAnswering([folder] { return kvx::listReportPages(folder); });
        if (!listing.ok)
            throw std::runtime_error(kvx::unreadableFolderText(folder, listing.error));
        reports = std::move(listing.names);
    }
    if (Busy.closeRequested() || !WriteIndexPages(folder, reports) || Busy.closeRequested())
        return false;

    const kvx::IndexCompile compiled = compileIndexFolder(folder);
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
