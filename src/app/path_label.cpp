#include "app/path_label.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>
#include <QtMath>

namespace {

// Letters of scripts whose fonts stand taller or reach lower than the Latin one: Latin with
// accents and descenders, Cyrillic, Greek, Han, Hangul, kana, Thai, Devanagari, Arabic.
const char* const kTallestLine = "ÁÅgjy_ЙЩфΩξ模板漢字한글かなไทยฎฐहिन्दीعربي";

// The room a group box's frame keeps below its controls.
constexpr int kFrameMargin = 2;

struct Line {
    qreal ascent = 0;
    qreal descent = 0;
};

Line lineOf(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    return line.isValid() ? Line{line.ascent(), line.descent()} : Line{};
}

} // namespace

void TPathLabel::measure() {
    const Line tallest = lineOf(QString::fromUtf8(kTallestLine), font());
    m_ascent = tallest.ascent;
    m_descent = tallest.descent;
}

void TPathLabel::fitLineHeight() {
    measure();
    const QMargins m = contentsMargins();
    const int needed = qCeil(m_ascent + m_descent) + m.top() + m.bottom();
    QRect g = geometry();
    int room = needed;
    if (const QWidget* parent = parentWidget())
        room = parent->height() - kFrameMargin - g.top();
    g.setHeight(qMax(g.height(), qMin(needed, room)));
    setGeometry(g);
}

void TPathLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        m_ascent = -1;
    QLabel::changeEvent(event);
}

void TPathLabel::paintEvent(QPaintEvent*) {
    if (m_ascent < 0)
        measure();
    QPainter p(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    // The tallest line's baseline; should the label be shorter than that line, the text is
    // raised until what it draws below the baseline fits.
    const Line own = lineOf(shown, font());
    const qreal baseline = qMin(area.top() + m_ascent, area.top() + area.height() - own.descent);
    p.setFont(font());
    p.setPen(palette().color(foregroundRole()));
    p.drawText(QPointF(area.left(), baseline), shown);
}
