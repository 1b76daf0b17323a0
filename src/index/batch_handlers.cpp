// The Index tab's "Create new files to build Index": a fresh report for every drawing of the
// folder, on the View tab, then the index build.

#include "app/main_window.h"

#include "app/message_box.h"
#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "files/file_name_text.h"
#include "report/drawing_report.h"
#include "report/report_batch.h"
#include "report/report_pipeline.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace {

const char* const kReportFailed = "The report of %1 could not be written.\n%2";
const char* const kFolderUnreachable = "The folder %1 cannot be shown on the View tab.";
const char* const kGroupFailed = "%1 of the reports could not be written.\n%2";

QString groupFailedText(const kvx::ReportCommitError& e) {
    return QString::fromLatin1(kGroupFailed)
        .arg(e.reportsNotWritten())
        .arg(QString::fromUtf8(e.what()));
}

// How often, in milliseconds, the batch lets the window answer the desktop, and shows the
// drawing it wrote last: often enough for a close to be heard at once and for the eye to follow.
constexpr qint64 kEventsEvery = 20;
constexpr qint64 kShowEvery = 50;

// Keeps the mouse and the keyboard away from the window while the batch moves its list: a
// click would change the folder under it. The window system's own requests (paint, close) go
// through, so that a close is heard while the batch runs; input that came meanwhile is dropped.
class InputShield : public QObject {
public:
    explicit InputShield(QWidget* window) : m_window(window) { qApp->installEventFilter(this); }
    ~InputShield() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != m_window)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
        }
    }

private:
    QWidget* m_window;
};

} // namespace

void TForm1::SpeedButton8Click() {
    if (!commandState().buildAfresh.enabled)
        return;
    bool reported = false;
    {
        const Running batch(this, kvx::Operation::Batch);
        reported = ReportEveryDrawing();
    }
    // Asked to close: the reports written so far stay, no index is built.
    if (reported && !Busy.closeRequested())
        buildThenShow();
}

bool TForm1::ReportEveryDrawing() {
    const std::string folder = IndexFolder();
    if (folder.empty())
        return false;
    PageControl1->setCurrentWidget(TabSheet1);
    const InputShield shield(this);
    // Both lists are read with the window answering: the batch's folder holds every drawing
    // and two reports of each.
    FileListBox1->setReadAnswering(true);
    FileListBox2->setReadAnswering(true);
    const auto readAtOnce = qScopeGuard([this] {
        FileListBox1->setReadAnswering(false);
        FileListBox2->setReadAnswering(false);
    });
    // The Index tab's list of reports is read again once the batch ends: the old one is not
    // held meanwhile nor while the drawings are listed (with 100,000 drawings it is megabytes). A
    // batch that stops early reads it again too, unless the window is closing.
    FileListBox2->clearFolder();
    bool listRead = false;
    const auto readReportList = qScopeGuard([this, &listRead] {
        if (listRead || Busy.closeRequested())
            return;
        try {
            RefreshReportList();
        } catch (const std::exception&) {
            // The list stays empty and says so: no report.
        }
    });
    if (ShellTreeView1->selectedNativePath() == folder) {
        // No selection change to re-read the list: drawings may have come or gone since.
        ShellTreeView1Change();
    } else if (!ShellTreeView1->selectNativePath(folder)) {
        throw std::runtime_error(
            QString::fromLatin1(kFolderUnreachable).arg(kvx::displayName(folder)).toStdString());
    }
    ShellTreeView1->repaint();
    const int drawings = FileListBox1->count();
    if (drawings == 0 || Busy.closeRequested())
        return false;
    Label5->show();
    {
        kvx::NameList names = FileListBox1->nativeNames();
        const std::string folderOfList = FileListBox1->nativeDirectory();
        kvx::ReportBatch batch(folderOfList, names);
        // Said once: a group that failed ends the batch, and the groups after it are dropped.
        bool failureTold = false;
        const auto groupFailed = [&batch, &failureTold] {
            try {
                kvx::checkReports(batch);
                return false;
            } catch (const kvx::ReportCommitError& e) {
                if (!failureTold)
                    kvx::showError(groupFailedText(e));
                failureTold = true;
                return true;
            }
        };
        // Puts every staged report in place, the window answering meanwhile; false when a
        // group could not be, which is then told.
        const auto commitAll = [&batch, &groupFailed] {
            batch.commitLater();
            while (!batch.settled(std::chrono::milliseconds(kEventsEvery)))
                QCoreApplication::processEvents();
            return !groupFailed();
        };
        const auto batchEnds = qScopeGuard([&batch, &failureTold] {
            // Left by an unexpected exception: the staged reports still go in place, and a
            // failure is told once the exception has gone by.
            try {
                kvx::commitReports(batch);
            } catch (const kvx::ReportCommitError& e) {
                if (failureTold)
                    return;
                QTimer::singleShot(0, qApp, [text = groupFailedText(e)] { kvx::showError(text); });
            }
        });
        kvx::ReportOptions options;
        options.bigImage = CheckBox8->isChecked();
        options.zoom = CheckBox3->isChecked();
        options.flushEachFile = !kvx::folderFlushedBySyncfs(folderOfList);
        kvx::ReportPipeline pipeline(folderOfList, std::move(names), options,
                                     kvx::ReportPipeline::defaultWorkers(options.flushEachFile));
        QElapsedTimer sinceEvents, sinceShown;
        sinceEvents.start();
        sinceShown.start();
        int lastWritten = -1;
        kvx::DrawingSeen lastSeen;
        // The View tab follows the batch: the drawing written last, selected and shown as its
        // report read it (on a share, reading it again here would hold up the window).
        const auto showProgress = [this, &lastWritten, &lastSeen, &sinceShown] {
            if (lastWritten < 0 || FileListBox1->itemIndex() == lastWritten)
                return;
            FileListBox1->setItemIndex(lastWritten);
            showDrawing(kvx::IdentifyDrawingHeader(lastSeen.release).offered, &lastSeen.preview);
            sinceShown.restart();
        };
        while (!pipeline.finished()) {
            // The window answers the desktop between results, so that it never looks hung and
            // hears a close (which the window system counts as input, hence the shield).
            if (sinceEvents.hasExpired(kEventsEvery)) {
                QCoreApplication::processEvents();
                sinceEvents.restart();
                // A close lets the drawings in flight finish and be written; no other begins.
                if (Busy.closeRequested())
                    pipeline.stop();
            }
            kvx::ReportResult report;
            // Waits no longer than until the window's next turn.
            const qint64 untilEvents = std::max<qint64>(0, kEventsEvery - sinceEvents.elapsed());
            if (!pipeline.next(report, std::chrono::milliseconds(untilEvents)))
                continue;
            const int i = static_cast<int>(report.index);
            try {
                if (!report.error.empty())
                    throw std::runtime_error(report.error);
                kvx::adoptReport(batch, std::move(report.staged));
            } catch (const std::exception& e) {
                pipeline.stop();
                FileListBox1->setItemIndex(i);
                FileListBox1Click();
                kvx::showError(QString::fromLatin1(kReportFailed)
                                   .arg(FileListBox1->selectedPath(), QString::fromUtf8(e.what())));
                commitAll(); // the reports before it are kept
                return false;
            }
            lastWritten = i;
            lastSeen = std::move(report.seen);
            if (batch.groupFull())
                batch.commitLater();
            if (groupFailed())
                return false;
            if (sinceShown.hasExpired(kShowEvery))
                showProgress();
        }
        showProgress();
        // The last group goes in place before the index reads the reports.
        if (!commitAll() || Busy.closeRequested())
            return false;
    }
    listRead = true;
    PageControl1->setCurrentWidget(Html);
    ShellTreeView2->repaint();
    // A page that shows reads the report list itself; in the tray nothing shows.
    if (!Html->isVisible())
        RefreshReportList();
    return true;
}
