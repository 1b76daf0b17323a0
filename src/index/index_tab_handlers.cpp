// The Index tab's handlers: its folder follows the View tab's, the report list and its count,
// and what the index build calls (the name check and rule, the page writer).

#include "app/main_window.h"

#include "app/answering.h"
#include "app/application.h"
#include "app/message_box.h"
#include "app/widget_factory.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "index/index_name.h"
#include "index/index_pages.h"
#include "report/drawing_report.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QToolButton>
#include <functional>

namespace {

const char* const kNoReport = "No report file found";
const char* const kReportCount = "%1 report file(s) found";
const char* const kNameRefused = "Enter a valid file name or select the automatic naming option.";

// While the tab follows the View tab's tree, selection changes wait for its one refresh.
bool g_followingViewTree = false;

// Runs an action each time the watched widget is shown.
class ShowWatcher : public QObject {
public:
    ShowWatcher(QObject* parent, std::function<void()> action)
        : QObject(parent), m_action(std::move(action)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            m_action();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_action;
};

} // namespace

void TForm1::connectIndexHandlers() {
    connect(ShellTreeView2, &TShellTreeView::changed, this, [this] {
        if (!g_followingViewTree)
            kvx::runHandler([this] { ShellTreeView2Change(); });
    });
    // The page is shown when its tab is picked, whoever picks it, and when the window
    // comes back with the page in front.
    Html->installEventFilter(
        new ShowWatcher(this, [this] { kvx::runHandler([this] { HtmlShow(); }); }));
}

void TForm1::HtmlShow() {
    {
        // The list is refreshed once below, whatever the tree does meanwhile.
        g_followingViewTree = true;
        const auto followed = qScopeGuard([] { g_followingViewTree = false; });
        if (ShellTreeView2->selectNativePath(ShellTreeView1->selectedNativePath())) {
            ShellTreeView2->rereadSelected();
        } else {
            // A folder this tree cannot reach (the computer, a folder gone since): the node
            // at the same place as the View tab's, in a tree read afresh.
            const int k = ShellTreeView1->selectedSiblingIndex();
            ShellTreeView2->populate();
            ShellTreeView2->selectOverallPosition(k + 1);
        }
    }
    ShellTreeView2Change();
}

void TForm1::ShellTreeView2Change() {
    const QString folder = ShellTreeView2->selectedPath();
    if (folder.isEmpty()) {
        // Not a folder of files: nothing to index, and Label11 keeps the last one.
        FileListBox2->clearFolder();
        Label12->setText(QString::fromLatin1(kNoReport));
        kvx::fitLabel(Label12);
        m_indexFolder = false;
        updateCommandButtons();
        return;
    }
    Label11->setText(folder);
    RefreshReportList();
}

void TForm1::RefreshReportList() {
    try {
        FileListBox2->setNativeDirectory(ShellTreeView2->selectedNativePath());
    } catch (...) {
        Label12->setText(QString::fromLatin1(kNoReport));
        kvx::fitLabel(Label12);
        m_indexFolder = false;
        updateCommandButtons();
        throw;
    }
    const int reports = FileListBox2->count();
    Label12->setText(QString::fromLatin1(kReportCount).arg(reports));
    kvx::fitLabel(Label12);
    m_indexFolder = true;
    m_reportCount = reports;
    updateCommandButtons();
}

kvx::NameList TForm1::ReportList() const {
    return FileListBox2->nativeNames();
}

bool TForm1::IndexNameCheck() {
    if (kvx::indexNameAccepted(CheckBox7->isChecked(), Edit4->text()))
        return true;
    kvx::showMessage(QString::fromLatin1(kNameRefused));
    Edit4->setFocus();
    return false;
}

std::string TForm1::IndexFolder() {
    return IndexNameCheck() ? ShellTreeView2->selectedNativePath() : std::string();
}

QString TForm1::IndexFileName() const {
    return kvx::indexFileName(CheckBox7->isChecked(), ShellTreeView2->selectedPath(),
                              Edit4->text());
}

bool TForm1::WriteIndexPages(const std::string& folder, const kvx::NameList& reports) {
    const kvx::IndexPagesResult written =
        kvx::whileAnswering([&folder, &reports] { return kvx::writeIndexPages(folder, reports); });
    if (written.ok)
        return true;
    indexBuildError(kvx::cannotCreateText(written.failedPath, written.errorNumber));
    return false;
}
