// The Index tab's "Create new files to build Index": a fresh report for every drawing of the
// folder, on the View tab, then the index build.

#include "app/main_window.h"

#include "app/message_box.h"
#include "drawing/drawing_version.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "files/file_name_text.h"
#include "report/drawing_report.h"
#include "report/report_run.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QScopeGuard>
#include <QTabWidget>
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
    kvx::ReportOptions options;
    options.bigImage = CheckBox8->isChecked();
    options.zoom = CheckBox3->isChecked();
    kvx::ReportRun run(FileListBox1->nativeDirectory(), FileListBox1->nativeNames(), options);
    // However the batch ends, what it took goes in place and its threads end with the window
    // answering: on a share that went down that may take long.
    bool ended = false;
    const auto endRun = [&run, &ended] {
        while (!ended && !(ended = run.end(std::chrono::milliseconds(kEventsEvery))))
            QCoreApplication::processEvents();
    };
    const auto endsAnyway = qScopeGuard(endRun);
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
    for (bool running = true; running;) {
        // The window answers the desktop between results, so that it never looks hung and
        // hears a close (which the window system counts as input, hence the shield).
        if (sinceEvents.hasExpired(kEventsEvery)) {
            QCoreApplication::processEvents();
            sinceEvents.restart();
            // A close lets the drawings in flight finish and be written; no other begins.
            if (Busy.closeRequested())
                run.stop();
        }
        // Waits no longer than until the window's next turn.
        const qint64 untilEvents = std::max<qint64>(0, kEventsEvery - sinceEvents.elapsed());
        switch (run.next(std::chrono::milliseconds(untilEvents))) {
        case kvx::ReportRun::Step::Waiting:
            break;
        case kvx::ReportRun::Step::Taken:
            lastWritten = static_cast<int>(run.lastIndex());
            lastSeen = run.takeSeen();
            if (sinceShown.hasExpired(kShowEvery))
                showProgress();
            break;
        case kvx::ReportRun::Step::Failed:
        case kvx::ReportRun::Step::Finished:
            running = false;
            break;
        }
    }
    if (const auto& failed = run.drawingFailure()) {
        FileListBox1->setItemIndex(static_cast<int>(failed->index));
        FileListBox1Click();
        kvx::showError(
            QString::fromLatin1(kReportFailed)
                .arg(FileListBox1->selectedPath(), QString::fromUtf8(failed->text.c_str())));
    } else {
        showProgress();
    }
    // The last group goes in place before the index reads the reports; the reports before a
    // failure are kept.
    endRun();
    if (const auto failed = run.groupFailure()) {
        kvx::showError(groupFailedText(*failed));
        return false;
    }
    if (run.drawingFailure() || Busy.closeRequested())
        return false;
    listRead = true;
    PageControl1->setCurrentWidget(Html);
    ShellTreeView2->repaint();
    // A page that shows reads the report list itself; in the tray nothing shows.
    if (!Html->isVisible())
        RefreshReportList();
    return true;
}
