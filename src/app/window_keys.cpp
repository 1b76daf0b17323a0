// The window's keys beyond Tab, Space and the arrows: the drawing list's Delete and Enter, and
// F5, the one way to read the folder trees again (they never refresh by themselves).

#include "app/main_window.h"

#include "app/application.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"

#include <QKeyEvent>
#include <QShortcut>
#include <QToolButton>

void TForm1::connectKeys() {
    FileListBox1->installEventFilter(this);
    const auto refreshKey = [this](QWidget* page, void (TForm1::*reread)()) {
        auto* key = new QShortcut(QKeySequence(Qt::Key_F5), page);
        key->setContext(Qt::WidgetWithChildrenShortcut);
        connect(key, &QShortcut::activated, this,
                [this, reread] { kvx::runHandler([this, reread] { (this->*reread)(); }); });
    };
    refreshKey(TabSheet1, &TForm1::RereadViewFolders);
    refreshKey(Html, &TForm1::RereadIndexFolders);
}

bool TForm1::drawingListKey(QKeyEvent* event) {
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    QToolButton* command = nullptr;
    switch (event->key()) {
    case Qt::Key_Delete:
        command = SpeedButton2;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        command = SpeedButton1;
        break;
    default:
        return false;
    }
    // Through the button, so that a command that waits (during a show or a batch) waits for
    // the key too; a key held down is one command, not one per repeat.
    if (!event->isAutoRepeat())
        command->click();
    return true;
}

void TForm1::RereadViewFolders() {
    // The batch steps through this list and a compile lists the index folder: neither has
    // its folder read again under it.
    if (Busy.active(kvx::Operation::Batch) || Busy.active(kvx::Operation::Compile))
        return;
    const int row = FileListBox1->itemIndex();
    const std::string drawing = row < 0 ? std::string() : FileListBox1->nativeName(row);
    ShellTreeView1->rereadAll();
    ShellTreeView1Change();
    for (int i = 1; i < FileListBox1->count() && !drawing.empty(); ++i) {
        if (FileListBox1->nativeName(i) == drawing) {
            FileListBox1->setItemIndex(i);
            FileListBox1Click();
            break;
        }
    }
}

void TForm1::RereadIndexFolders() {
    if (Busy.active(kvx::Operation::Batch) || Busy.active(kvx::Operation::Compile))
        return;
    ShellTreeView2->rereadAll();
    ShellTreeView2Change();
}
