// The Index tab's two build buttons: the index from the report pages in place, and the
// batch that writes every drawing's report first.

#include "app/main_window.h"

#include "app/application.h"
#include "app/message_box.h"
#include "drawing/file_list_box.h"
#include "drawing/file_name_text.h"
#include "drawing/shell_tree_view.h"
#include "files/atomic_file.h"
#include "files/paths.h"
#include "index/index_build.h"
#include "index/result_dialog.h"
#include "index/tool_folder.h"
#include "report/wait_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QScopeGuard>
#include <QTabWidget>
#include <QToolButton>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const kReportFailed = "The report of %1 could not be written.\n%2";
const char* const kCannotDelete = "The file %1 could not be deleted.\n%2";
const char* const kFolderUnreachable = "The folder %1 cannot be shown on the View tab.";

// A close request came during a build or a batch: the window closes once it has returned.
bool g_closeAfterBuild = false;

// How often, in milliseconds, the batch lets the window answer the desktop.
constexpr qint64 kEventsEvery = 100;

// Keeps SpeedButton7 and SpeedButton8 disabled while a build or a batch runs, so that a second
// click cannot rewrite the pages under the running compiler, and gives them back at the end.
// The window stays live meanwhile: a refresh of the report list the user brings about cannot
// enable them. The build's own refreshes run through refreshing(), and their verdict on the
// buttons is the state given back; on other paths it is the state from before.
class BuildButtonsLock : public QObject {
public:
    explicit BuildButtonsLock(std::initializer_list<QToolButton*> buttons) {
        s_current = this;
        for (QToolButton* button : buttons) {
            m_held.push_back({button, button->isEnabled()});
            button->installEventFilter(this);
        }
        hold();
    }
    ~BuildButtonsLock() override {
        for (const Held& h : m_held) {
            h.button->removeEventFilter(this);
            h.button->setEnabled(h.wanted);
        }
        s_current = nullptr;
    }

    static bool held() { return s_current != nullptr; }

    // Runs a refresh of the report list with the buttons free to take the state it gives.
    static void refreshing(const std::function<void()>& refresh) {
        if (!s_current) {
            refresh();
            return;
        }
        BuildButtonsLock& lock = *s_current;
        lock.m_open = true;
        for (const Held& h : lock.m_held)
            h.button->setEnabled(h.wanted);
        const auto closeAgain = qScopeGuard([&lock] {
            for (Held& h : lock.m_held)
                h.wanted = h.button->isEnabled();
            lock.m_open = false;
            lock.hold();
        });
        refresh();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange && !m_open && !m_holding &&
            static_cast<QWidget*>(watched)->isEnabled())
            hold();
        return false;
    }

private:
    struct Held {
        QToolButton* button;
        bool wanted;
    };
    void hold() {
        m_holding = true;
        for (const Held& h : m_held)
            h.button->setEnabled(false);
        m_holding = false;
    }
    static inline BuildButtonsLock* s_current = nullptr;
    std::vector<Held> m_held;
    bool m_open = false;
    bool m_holding = false;
};

// Runs a build's steps with the buttons locked, then shows the result dialog when they
// built the index. A close asked for meanwhile is carried out instead, however they ended.
void buildThenShow(TForm1* form, const std::function<bool()>& steps) {
    const auto closeIfAsked = qScopeGuard([form] {
        if (g_closeAfterBuild) {
            g_closeAfterBuild = false;
            form->close();
        }
    });
    bool built = false;
    {
        BuildButtonsLock lock{form->SpeedButton7, form->SpeedButton8};
        built = steps();
    }
    if (built && !g_closeAfterBuild)
        Form2->exec();
}

} // namespace

void TForm1::connectIndexBuildHandlers() {
    connect(SpeedButton7, &QToolButton::clicked, this,
            [this] { kvx::runHandler([this] { SpeedButton7Click(); }); });
    connect(SpeedButton8, &QToolButton::clicked, this,
            [this] { kvx::runHandler([this] { SpeedButton8Click(); }); });
}

void TForm1::SpeedButton7Click() {
    if (BuildButtonsLock::held())
        return;
    buildThenShow(this, [this] { return BuildIndex(); });
}

void TForm1::SpeedButton8Click() {
    if (BuildButtonsLock::held())
        return;
    buildThenShow(this, [this] { return ReportEveryDrawing() && BuildIndex(); });
}

bool TForm1::deferCloseToIndexBuild() {
    if (!BuildButtonsLock::held())
        return false;
    g_closeAfterBuild = true;
    return true;
}

bool TForm1::BuildIndex() {
    if (!IndexNameCheck())
        return false;
    // The folder of this build, whatever the tree shows once the compile has let the
    // window live; its bytes, so that a name that is not UTF-8 is still reached.
    const std::string folder = ShellTreeView2->selectedNativePath();
    if (folder.empty())
        return false;
    Form4->showCentredOn(this);
    const auto closeWaitWindow = qScopeGuard([] {
        if (Form4)
            Form4->hide();
    });
    // The pages list the reports the folder holds now.
    BuildButtonsLock::refreshing([this] { RefreshReportList(); });
    if (!WriteIndexPages())
        return false;

    const kvx::IndexCompile compiled =
        kvx::compileIndex(kvx::toolFolderFile(kvx::kCompilerName), folder, IndexFileName());
    if (!compiled.ok) {
        kvx::showError(compiled.message);
        return false;
    }
    kvx::SettingCopies.lastchm = compiled.indexFile;
    Settings.writeText("lastchm", kvx::SettingCopies.lastchm);

    const kvx::IndexCleanup cleanup = kvx::cleanUpIndexFolder(
        folder, kvx::SettingCopies.effjpg == "1", kvx::SettingCopies.effhtml == "1");
    // Label12 counts what is left, in the folder the tab shows now.
    BuildButtonsLock::refreshing([this] { ShellTreeView2Change(); });
    if (!cleanup.ok) {
        kvx::showError(QString::fromLatin1(kCannotDelete).arg(cleanup.failedPath, cleanup.reason));
        return false;
    }
    return true;
}

bool TForm1::ReportEveryDrawing() {
    if (!IndexNameCheck())
        return false;
    // The folder's bytes, so that a name that is not UTF-8 is still reached.
    const std::string folder = ShellTreeView2->selectedNativePath();
    if (folder.empty())
        return false;
    // A running show would move the list under the batch.
    endSlideShow();
    PageControl1->setCurrentWidget(TabSheet1);
    if (ShellTreeView1->selectedNativePath() == folder) {
        // No selection change to re-read the list: drawings may have come or gone since.
        ShellTreeView1Change();
    } else if (!ShellTreeView1->selectNativePath(folder)) {
        throw std::runtime_error(
            QString::fromLatin1(kFolderUnreachable).arg(kvx::displayName(folder)).toStdString());
    }
    ShellTreeView1->repaint();
    const int drawings = FileListBox1->count();
    if (drawings == 0)
        return false;

    QToolButton* const commands[] = {SpeedButton4, SpeedButton1, SpeedButton2, SpeedButton3,
                                     SpeedButton6};
    Label5->show();
    for (QToolButton* b : commands) {
        b->setEnabled(false);
        b->hide();
    }
    {
        // Back on every path, Stop excepted.
        const auto commandsBack = qScopeGuard([&] {
            for (QToolButton* b : commands) {
                if (b != SpeedButton4) {
                    b->setEnabled(true);
                    b->show();
                }
            }
        });
        // What killed writes left beside the reports, removed in one pass over the folder
        // rather than one per report: a folder of thousands is otherwise read thousands of times.
        const std::string reportFolder = FileListBox1->nativeDirectory();
        std::vector<std::string> reportFiles;
        reportFiles.reserve(2 * static_cast<std::size_t>(drawings));
        for (int i = 0; i < drawings; ++i) {
            const std::string drawing = kvx::joinPath(reportFolder, FileListBox1->nativeName(i));
            reportFiles.push_back(drawing + ".jpg");
            reportFiles.push_back(drawing + ".htm");
        }
        kvx::removeLeftoverTemporaries(reportFiles, kvx::Links::Replace);
        m_batchReporting = true;
        // The reports' names reach the disk in one flush for the folder, on every path: a
        // crash before it may bring back earlier reports, never half a file.
        const auto batchEnds = qScopeGuard([this, &reportFolder] {
            m_batchReporting = false;
            kvx::syncFolder(reportFolder);
        });
        QElapsedTimer sinceEvents;
        sinceEvents.start();
        for (int i = 0; i < drawings; ++i) {
            // Asked to close: the reports written so far stay, no index is built.
            if (g_closeAfterBuild)
                return false;
            FileListBox1->setItemIndex(i);
            FileListBox1Click();
            try {
                WriteDrawingReport();
            } catch (const std::exception& e) {
                kvx::showError(QString::fromLatin1(kReportFailed)
                                   .arg(FileListBox1->selectedPath(), QString::fromUtf8(e.what())));
                return false;
            }
            // The selection handler has painted the moving selection and the preview: the
            // batch's progress. Now and then the window also answers the desktop, so that a
            // long batch never looks hung; input waits for the end.
            if (sinceEvents.hasExpired(kEventsEvery)) {
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                sinceEvents.restart();
            }
        }
    }
    BuildButtonsLock::refreshing([this] {
        PageControl1->setCurrentWidget(Html);
        ShellTreeView2->repaint();
        RefreshReportList();
    });
    return true;
}
