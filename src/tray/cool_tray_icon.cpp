#include "tray/cool_tray_icon.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {
int g_trayOverride = -1;
}

TCoolTrayIcon::TCoolTrayIcon(QWidget* owner)
    : QObject(owner), m_owner(owner), m_tray(new QSystemTrayIcon(this)) {
    setObjectName("TrayIcon1");
    m_icon = QApplication::windowIcon();
    m_tray->setIcon(m_icon);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        // Qt reports a left click once the button is released.
        if (r == QSystemTrayIcon::Trigger && m_enabled)
            Click();
    });
    if (m_owner)
        m_owner->installEventFilter(this);
    setPersistenttrayIcon(true);
}

TCoolTrayIcon::~TCoolTrayIcon() {
    RemoveTrayIcon();
    if (m_owner)
        m_owner->removeEventFilter(this);
}

void TCoolTrayIcon::setPopupMenu(QMenu* menu) {
    m_popupMenu = menu;
    m_tray->setContextMenu(menu);
}

void TCoolTrayIcon::setHint(const QString& hint) {
    m_hint = hint;
    UpdateTrayIcon();
}

void TCoolTrayIcon::setShowHint(bool on) {
    m_showHint = on;
    UpdateTrayIcon();
}

void TCoolTrayIcon::setIcon(const QIcon& icon) {
    m_icon = icon;
    UpdateTrayIcon();
}

void TCoolTrayIcon::setIconVisible(bool on) {
    if (on)
        AddTrayIcon();
    else
        RemoveTrayIcon();
}

void TCoolTrayIcon::setPersistenttrayIcon(bool on) {
    m_persistent = on;
    setIconVisible(on);
}

QString TCoolTrayIcon::effectiveTip() const {
    if (m_hint.isEmpty() || !m_showHint)
        return QString();
    return m_hint.left(kMaxTipLength);
}

bool TCoolTrayIcon::trayAvailable() {
    if (g_trayOverride >= 0)
        return g_trayOverride != 0;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TCoolTrayIcon::setTrayAvailableOverride(int available) { g_trayOverride = available; }

bool TCoolTrayIcon::isShownInTray() const { return m_iconVisible && m_tray->isVisible(); }

void TCoolTrayIcon::AddTrayIcon() {
    m_iconVisible = true;
    UpdateTrayIcon();
    m_tray->show();
}

void TCoolTrayIcon::RemoveTrayIcon() {
    m_iconVisible = false;
    m_tray->hide();
}

void TCoolTrayIcon::UpdateTrayIcon() {
    m_tray->setIcon(m_icon);
    m_tray->setToolTip(effectiveTip());
}

void TCoolTrayIcon::HideMainWindow() {
    if (m_owner)
        m_owner->hide();
}

void TCoolTrayIcon::MinimizeToTrayNow() {
    HideMainWindow();
    AddTrayIcon();
}

void TCoolTrayIcon::RestoreMainWindow() {
    if (!m_owner)
        return;
    m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMinimized);
    m_owner->show();
    m_owner->raise();
    m_owner->activateWindow();
    if (m_persistent)
        AddTrayIcon();
    else
        RemoveTrayIcon();
}

void TCoolTrayIcon::Click() {
    if (m_showFormOnClick)
        RestoreMainWindow();
    emit clicked();
}

bool TCoolTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_owner) {
        switch (event->type()) {
        case QEvent::WindowStateChange:
            // Without a notification area the window stays an ordinary minimised one, so
            // the program can always be reached.
            if (m_minimizeToTray && m_owner->isMinimized() && trayAvailable())
                QMetaObject::invokeMethod(this, [this] {
                    if (m_owner && m_owner->isMinimized())
                        MinimizeToTrayNow();
                }, Qt::QueuedConnection);
            break;
        case QEvent::Show:
            // Only the program showing its window counts, not the window system's echoes.
            if (event->spontaneous() || !m_owner->isVisible())
                break;
            if (m_persistent)
                AddTrayIcon();
            else
                RemoveTrayIcon();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
