#include "app/path_label.h"

#include <QPainter>
#include <QStyle>

void TPathLabel::paintEvent(QPaintEvent* event) {
    const QString full = text();
    if (fontMetrics().horizontalAdvance(full) <= contentsRect().width()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    const QString shown = fontMetrics().elidedText(full, Qt::ElideMiddle, contentsRect().width());
    style()->drawItemText(&p, contentsRect(), int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}
