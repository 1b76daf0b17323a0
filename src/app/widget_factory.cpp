#include "app/widget_factory.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QRadioButton>

namespace kvx {

void autoSizeLabel(QLabel* label) { label->setProperty("kvxAutoSize", true); }

namespace {

// Grows the label to its text's width (a right-aligned one leftwards); false when that
// would cover a sibling, in which case the designed geometry stays.
bool growLabel(QLabel* label) {
    const QSize hint = label->sizeHint();
    QRect g = label->geometry();
    if (hint.width() > g.width()) {
        if (label->alignment() & Qt::AlignRight)
            g.setLeft(g.right() + 1 - hint.width());
        else
            g.setWidth(hint.width());
    }
    if (hint.height() > g.height())
        g.setHeight(hint.height());
    if (QWidget* parent = label->parentWidget()) {
        for (QWidget* sibling : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (sibling != label && !sibling->isHidden() && sibling->geometry().intersects(g) &&
                !sibling->geometry().intersects(label->geometry()))
                return false;
        }
    }
    label->setGeometry(g);
    return true;
}

} // namespace

void fitCaption(QWidget* control) {
    const int available = control->width();
    for (int stretch = 100; stretch >= 70; stretch -= 5) {
        QFont f = control->font();
        f.setStretch(stretch);
        control->setFont(f);
        if (control->sizeHint().width() <= available)
            return;
    }
}

void fitCaptions(QWidget* form) {
    for (QAbstractButton* b : form->findChildren<QAbstractButton*>()) {
        if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b))
            fitCaption(b);
    }
    for (QLabel* label : form->findChildren<QLabel*>()) {
        if (label->property("kvxAutoSize").toBool())
            fitLabel(label);
    }
}

void fitLabel(QLabel* label) {
    if (!growLabel(label))
        fitCaption(label);
}

const char* const kFormStyleSheet =
    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 6px; top: 0px; padding: 0px 1px; }";

} // namespace kvx
