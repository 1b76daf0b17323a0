#include "drawing/view_focus.h"

#include <QAbstractScrollArea>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace kvx {

void paintViewFocus(QAbstractScrollArea* view) {
    if (!view->hasFocus())
        return;
    QWidget* viewport = view->viewport();
    QPainter p(viewport);
    QStyleOptionFocusRect option;
    option.initFrom(view);
    option.rect = viewport->rect();
    // Styles that mark only a focus reached from the keyboard would hide it after a click.
    option.state |= QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
    option.backgroundColor = view->palette().color(QPalette::Base);
    view->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, view);
}

} // namespace kvx
