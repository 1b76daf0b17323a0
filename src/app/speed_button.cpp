#include "app/speed_button.h"

#include <QKeyEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace {
constexpr int kGlyphGap = 4; // between glyph and caption
} // namespace

void TSpeedButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionToolButton opt;
    initStyleOption(&opt);
    if (opt.icon.isNull() || opt.text.isEmpty() ||
        toolButtonStyle() != Qt::ToolButtonTextBesideIcon) {
        p.drawComplexControl(QStyle::CC_ToolButton, opt);
        return;
    }
    // The style draws the frame; the glyph and caption are placed here.
    QStyleOptionToolButton frame = opt;
    frame.icon = QIcon();
    frame.text.clear();
    p.drawComplexControl(QStyle::CC_ToolButton, frame);

    const QIcon::Mode mode = !isEnabled()                            ? QIcon::Disabled
                             : (opt.state & QStyle::State_MouseOver) ? QIcon::Active
                                                                     : QIcon::Normal;
    const QPixmap glyph = opt.icon.pixmap(opt.iconSize, devicePixelRatio(), mode,
                                          isChecked() ? QIcon::On : QIcon::Off);
    const QSize glyphSize = glyph.deviceIndependentSize().toSize();
    const int textWidth = fontMetrics().horizontalAdvance(opt.text);
    const int groupWidth = glyphSize.width() + kGlyphGap + textWidth;
    QRect area = style()->subControlRect(QStyle::CC_ToolButton, &opt, QStyle::SC_ToolButton, this);
    if (opt.state & (QStyle::State_Sunken | QStyle::State_On))
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &opt, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &opt, this));
    const int left = area.left() + qMax(0, (area.width() - groupWidth) / 2);
    p.drawPixmap(left, area.top() + (area.height() - glyphSize.height()) / 2, glyph);
    const QRect textRect(left + glyphSize.width() + kGlyphGap, area.top(),
                         area.right() - (left + glyphSize.width() + kGlyphGap) + 1, area.height());
    p.drawItemText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, opt.palette,
                   isEnabled(), opt.text, QPalette::ButtonText);
}

void TSpeedButton::keyPressEvent(QKeyEvent* event) {
    // A tool button answers Space only; Enter is the other key a user tries on a command.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QToolButton::keyPressEvent(event);
}
