#include "drawing/shell_tree_view.h"

#include <QMouseEvent>
#include <QPalette>

TShellTreeView::TShellTreeView(QWidget* parent) : QTreeView(parent) {
    setHeaderHidden(true);
    setIndentation(19);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The selection stays visible when the tree loses the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
}

void TShellTreeView::mousePressEvent(QMouseEvent* event) {
    // A right click selects the folder under the pointer, as a left click does.
    if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid())
            setCurrentIndex(index);
        return;
    }
    QTreeView::mousePressEvent(event);
}
