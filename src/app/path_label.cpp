#include "app/path_label.h"

#include <QPainter>
#include <QStyle>

void TPathLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QRect area = contentsRect();
    const QFontMetrics fm = fontMetrics();
    // The layout gives the label the old font's height; the desktop's font may need a pixel
    // or two more, taken from the empty space above the capitals rather than from the
    // underscores and descenders below.
    if (fm.height() > area.height())
        area.setTop(area.top() - (fm.height() - area.height()));
    const QString shown = fm.elidedText(text(), Qt::ElideMiddle, area.width());
    style()->drawItemText(&p, area, int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}
