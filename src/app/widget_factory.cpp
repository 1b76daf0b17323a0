#include "app/widget_factory.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace kvx {

void autoSizeLabel(QLabel* label) { label->setProperty("kvxAutoSize", true); }

namespace {

// The room a group box's frame leaves its controls on the right.
constexpr int kFrameMargin = 2;
// The gap the layout keeps between a caption and the edit box after it.
constexpr int kCaptionGap = 6;

// Edit boxes to the right of `g` that it would cover start after it instead.
void makeRoomAfter(const QWidget* control, const QRect& g) {
    for (QLineEdit* edit :
         control->parentWidget()->findChildren<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect e = edit->geometry();
        if (edit->isHidden() || !e.intersects(g) || e.intersects(control->geometry()) ||
            e.left() <= g.left())
            continue;
        const int left = g.right() + 1 + kCaptionGap;
        if (left < e.right() - 2 * kCaptionGap)
            edit->setGeometry(QRect(QPoint(left, e.top()), e.bottomRight()));
    }
}

// Labels may also grow downwards; a check box keeps its designed height, which centres its box
// and caption on the row.
void growToCaption(QWidget* control, bool leftwards, bool taller) {
    const QSize hint = control->sizeHint();
    QRect g = control->geometry();
    if (hint.width() > g.width()) {
        if (leftwards)
            g.setLeft(g.right() + 1 - hint.width());
        else
            g.setWidth(hint.width());
    }
    if (taller && hint.height() > g.height())
        g.setHeight(hint.height());
    if (g == control->geometry())
        return;
    if (const QWidget* parent = control->parentWidget()) {
        // Past the frame: back inside, as far as the neighbour on the left allows.
        const int overflow = g.right() - (parent->width() - 1 - kFrameMargin);
        if (overflow > 0 && !leftwards) {
            int left = std::max(g.left() - overflow, kFrameMargin);
            for (const QWidget* sibling :
                 parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
                const QRect s = sibling->geometry();
                if (sibling != control && !sibling->isHidden() && s.right() < g.left() &&
                    s.right() >= left && s.top() <= g.bottom() && s.bottom() >= g.top())
                    left = s.right() + 1;
            }
            g.moveLeft(std::min(left, g.left()));
        }
        makeRoomAfter(control, g);
    }
    control->setGeometry(g);
}

} // namespace

void fitCaptions(QWidget* form) {
    for (QAbstractButton* b : form->findChildren<QAbstractButton*>()) {
        if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b))
            growToCaption(b, false, false);
    }
    for (QLabel* label : form->findChildren<QLabel*>()) {
        if (label->property("kvxAutoSize").toBool())
            fitLabel(label);
    }
}

void fitLabel(QLabel* label) {
    growToCaption(label, (label->alignment() & Qt::AlignRight) != 0, true);
}

namespace {

double luminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// Takes a fixed-size window back out of a maximise. The request cannot be withdrawn before
// the window system answers it (a Wayland compositor configures the window at the screen's
// size, and ends the program if the window does not take that size), so the window is let
// loose to take it, then restored and fixed again.
class MaximiseRefusal : public QObject {
public:
    explicit MaximiseRefusal(QWidget* widget) : QObject(widget), m_widget(widget) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        // A window recreated (new flags) has a new handle.
        if (event->type() == QEvent::Show && m_widget->windowHandle() != m_window) {
            m_window = m_widget->windowHandle();
            connect(m_window, &QWindow::windowStateChanged, this,
                    [this](Qt::WindowState state) { asked(state); });
        }
        // The window system's word (not the echo of a state set here) that the window is
        // large; then, after the restore, the window at its own size again.
        if (event->type() == QEvent::WindowStateChange && event->spontaneous() &&
            (m_widget->windowState() & kLarge))
            restoreLater();
        if (event->type() == QEvent::Resize && m_fixed.isValid() && m_widget->size() == m_fixed &&
            !(m_widget->windowState() & kLarge)) {
            m_widget->setFixedSize(m_fixed);
            m_fixed = QSize();
        }
        return false;
    }

private:
    static constexpr Qt::WindowStates kLarge = Qt::WindowMaximized | Qt::WindowFullScreen;

    // As soon as the window asks (a title bar the toolkit draws calls this before the
    // request leaves) or learns that it is maximised.
    void asked(Qt::WindowState state) {
        if (!(state & kLarge) || m_fixed.isValid() ||
            m_widget->minimumSize() != m_widget->maximumSize())
            return;
        m_fixed = m_widget->minimumSize();
        m_widget->setMinimumSize(0, 0);
        m_widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }

    // Asked once the window has shown itself at the large size: a compositor ignores a restore
    // that comes before, and fixing the size again before the compositor's answer would show
    // the window at a size other than the one it was given.
    void restoreLater() {
        QTimer::singleShot(0, this, [this] {
            if (m_widget->windowState() & kLarge)
                m_widget->setWindowState(m_widget->windowState() & ~kLarge);
        });
    }

    QWidget* m_widget;
    QPointer<QWindow> m_window;
    QSize m_fixed;
};

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor legibleOn(const QColor& colour, const QColor& background, double ratio) {
    if (contrastRatio(colour, background) >= ratio)
        return colour;
    const bool lighter = luminance(background) < 0.18;
    const QColor hsl = colour.toHsl();
    for (int l = hsl.lightness(); l >= 0 && l <= 255; l += lighter ? 1 : -1) {
        const QColor c = QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), l);
        if (contrastRatio(c, background) >= ratio)
            return c;
    }
    return lighter ? QColor(Qt::white) : QColor(Qt::black);
}

void refuseMaximise(QWidget* window) {
    window->installEventFilter(new MaximiseRefusal(window));
}

const char* const kFormStyleSheet =
    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 6px; top: 0px; padding: 0px 1px; }";

} // namespace kvx
