#include "app/widget_factory.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
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

// Withdraws a maximise as soon as the window asks for it: the window system then never
// configures the window at a size its fixed constraints refuse.
class MaximiseRefusal : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = static_cast<QWidget*>(watched);
        // A window recreated (new flags) has a new handle.
        if (event->type() == QEvent::Show && widget->windowHandle() != m_window) {
            m_window = widget->windowHandle();
            QWindow* window = m_window;
            connect(window, &QWindow::windowStateChanged, this, [window](Qt::WindowState) {
                const Qt::WindowStates states = window->windowStates();
                if (states & (Qt::WindowMaximized | Qt::WindowFullScreen))
                    window->setWindowStates(states & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
            });
        }
        return false;
    }

private:
    QPointer<QWindow> m_window;
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
