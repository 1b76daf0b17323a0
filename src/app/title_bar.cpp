#include "app/title_bar.h"

#include "app/title_bar_choice.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <vector>

namespace kvx {

namespace {

const char* const kClientAreaName = "kvxClientArea";
const char* const kTitleBarName = "kvxTitleBar";

// The bar's colours: the selection's while the window is active, the buttons' otherwise, so
// that they follow light and dark themes alike.
QColor barColour(const QWidget* bar) {
    return bar->window()->isActiveWindow() ? bar->palette().color(QPalette::Highlight)
                                           : bar->palette().color(QPalette::Button);
}

QColor barTextColour(const QWidget* bar) {
    return bar->window()->isActiveWindow() ? bar->palette().color(QPalette::HighlightedText)
                                           : bar->palette().color(QPalette::ButtonText);
}

class TitleButton : public QAbstractButton {
public:
    enum Glyph { Minimise, Close };

    TitleButton(Glyph glyph, QWidget* bar) : QAbstractButton(bar), m_glyph(glyph) {
        setObjectName(glyph == Minimise ? QStringLiteral("kvxMinimise")
                                        : QStringLiteral("kvxClose"));
        setToolTip(glyph == Minimise ? QStringLiteral("Minimise") : QStringLiteral("Close"));
        // The window's keys stay with its controls.
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_Hover);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QWidget* bar = parentWidget();
        QColor back = barColour(bar);
        if (isDown())
            back = back.darker(130);
        else if (underMouse())
            back = back.lighter(130);
        p.fillRect(rect(), back);
        // Glyphs drawn, not pictures, so that they stay sharp at any scale.
        const int side = std::max(6, height() * 3 / 8);
        const QRectF box(QPointF((width() - side) / 2.0, (height() - side) / 2.0),
                         QSizeF(side, side));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(
            QPen(barTextColour(bar), std::max(1.0, height() / 14.0), Qt::SolidLine, Qt::FlatCap));
        if (m_glyph == Minimise) {
            p.drawLine(box.bottomLeft(), box.bottomRight());
        } else {
            p.drawLine(box.topLeft(), box.bottomRight());
            p.drawLine(box.topRight(), box.bottomLeft());
        }
    }

private:
    Glyph m_glyph;
};

// The window's edge, drawn over everything else: a frameless window has none of its own.
class WindowFrame : public QWidget {
public:
    explicit WindowFrame(QWidget* window) : QWidget(window) {
        setObjectName(QStringLiteral("kvxFrame"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(QPalette::Dark));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

class TitleBar : public QWidget {
public:
    // `flags`: the window's own, which name the buttons it offers. `client`: where the controls
    // stand, or null when the window's layout places them below the bar.
    TitleBar(QWidget* window, Qt::WindowFlags flags, QWidget* client, QWidget* frame)
        : QWidget(window), m_client(client), m_frame(frame) {
        setObjectName(QString::fromLatin1(kTitleBarName));
        QFont f = window->font();
        f.setBold(true);
        setFont(f);
        // Follows the font, so that the bar scales with the desktop's text.
        const int text = fontMetrics().height();
        setFixedHeight(text + std::max(6, text * 2 / 3));
        // Presses and double clicks pass through the title to the bar.
        m_title = new QLabel(this);
        m_title->setObjectName(QStringLiteral("kvxTitle"));
        m_title->setTextFormat(Qt::PlainText);
        if (flags & Qt::WindowMinimizeButtonHint) {
            auto* minimise = new TitleButton(TitleButton::Minimise, this);
            connect(minimise, &QAbstractButton::clicked, window, &QWidget::showMinimized);
            m_buttons.push_back(minimise);
        }
        if (flags & Qt::WindowCloseButtonHint) {
            auto* close = new TitleButton(TitleButton::Close, this);
            connect(close, &QAbstractButton::clicked, window, &QWidget::close);
            m_buttons.push_back(close);
            m_close = close;
        }
        window->installEventFilter(this);
    }

    // The bar across the top, the client area below it, the frame over both.
    void layOut() {
        const QWidget* window = parentWidget();
        setGeometry(0, 0, window->width(), height());
        if (m_client)
            m_client->setGeometry(0, height(), window->width(), window->height() - height());
        m_frame->setGeometry(window->rect());
        // Minimise keeps clear of the slot before close, where title bars put maximise: a
        // click there out of habit moves nothing, rather than hiding the window.
        const int w = height() * 5 / 4;
        int right = width() - 1;
        for (auto it = m_buttons.rbegin(); it != m_buttons.rend(); ++it) {
            if (*it != m_close && m_close)
                right -= w;
            (*it)->setGeometry(right - w, 1, w, height() - 1);
            right -= w;
        }
        const int pad = std::max(4, height() / 4);
        m_title->setGeometry(pad, 0, std::max(0, right - 2 * pad), height());
        showTitle();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Resize:
            layOut();
            break;
        case QEvent::WindowTitleChange:
        case QEvent::ActivationChange:
            showTitle();
            update();
            for (QWidget* b : m_buttons)
                b->update();
            break;
        default:
            break;
        }
        return false;
    }

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), barColour(this));
    }

    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::PaletteChange)
            showTitle();
        QWidget::changeEvent(event);
    }

    void mousePressEvent(QMouseEvent* event) override {
        // The compositor moves the window: a Wayland client cannot place itself.
        if (event->button() == Qt::LeftButton) {
            if (QWindow* handle = window()->windowHandle())
                handle->startSystemMove();
        }
        event->accept();
    }

    // Without maximise a double click has nothing to do, and must not reach the window.
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }

private:
    void showTitle() {
        QPalette pal = m_title->palette();
        pal.setColor(QPalette::WindowText, barTextColour(this));
        m_title->setPalette(pal);
        m_title->setText(m_title->fontMetrics().elidedText(parentWidget()->windowTitle().trimmed(),
                                                           Qt::ElideRight, m_title->width()));
    }

    QWidget* m_client;
    QWidget* m_frame;
    QLabel* m_title;
    QWidget* m_close = nullptr;
    std::vector<QWidget*> m_buttons;
};

// The bar and the frame on a window that goes frameless.
TitleBar* putTitleBar(QWidget* window, QWidget* client) {
    const Qt::WindowFlags flags = window->windowFlags();
    auto* frame = new WindowFrame(window);
    auto* bar = new TitleBar(window, flags, client, frame);
    frame->raise();
    // Qt keeps the frame of a window that asks for any part of a title bar.
    const Qt::WindowFlags titleHints = Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                       Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint |
                                       Qt::WindowContextHelpButtonHint;
    window->setWindowFlags((flags & ~titleHints) | Qt::FramelessWindowHint);
    return bar;
}

const QWidget* titleBarOf(const QWidget* window) {
    return window->findChild<QWidget*>(QString::fromLatin1(kTitleBarName),
                                       Qt::FindDirectChildrenOnly);
}

} // namespace

bool ownTitleBars() {
    static const bool own =
        ownTitleBarWanted(QGuiApplication::platformName().toStdString(), waylandGlobals(),
                          qEnvironmentVariableIntValue("QT_WAYLAND_DISABLE_WINDOWDECORATION") != 0);
    return own;
}

void addTitleBar(QWidget* window) {
    const QSize clientSize = window->size();
    auto* client = new QWidget(window);
    client->setObjectName(QString::fromLatin1(kClientAreaName));
    for (QObject* child : window->children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (!control || control == client || control->isWindow())
            continue;
        // Moving a control hides it; only those hidden on purpose stay so.
        const bool hidden = control->testAttribute(Qt::WA_WState_ExplicitShowHide) &&
                            control->testAttribute(Qt::WA_WState_Hidden);
        const QRect geometry = control->geometry();
        control->setParent(client);
        control->setGeometry(geometry);
        control->setVisible(!hidden);
    }
    TitleBar* bar = putTitleBar(window, client);
    window->setFixedSize(clientSize.width(), clientSize.height() + bar->height());
    bar->layOut();
}

void addTitleBarAboveLayout(QWidget* window) {
    TitleBar* bar = putTitleBar(window, nullptr);
    QMargins margins = window->layout()->contentsMargins();
    margins.setTop(margins.top() + bar->height());
    window->layout()->setContentsMargins(margins);
    bar->layOut();
}

QWidget* clientArea(QWidget* window) {
    QWidget* client = window->findChild<QWidget*>(QString::fromLatin1(kClientAreaName),
                                                  Qt::FindDirectChildrenOnly);
    return client ? client : window;
}

void setFixedClientHeight(QWidget* window, int height) {
    const QWidget* bar = titleBarOf(window);
    window->setFixedHeight(height + (bar ? bar->height() : 0));
}

} // namespace kvx
