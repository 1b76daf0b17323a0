#pragma once
// The notification-area icon of the main window: shown while the window is minimised,
// removed when it is shown again; a left click restores the window, the right button
// opens the window's menu.

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QMenu>
class QSystemTrayIcon;
class QWidget;

class TCoolTrayIcon : public QObject {
    Q_OBJECT
public:
    // The owner is the main window: the icon follows its minimised state.
    explicit TCoolTrayIcon(QWidget* owner);
    ~TCoolTrayIcon() override;

    static constexpr int kMaxTipLength = 127;

    void setPopupMenu(QMenu* menu);
    QMenu* popupMenu() const { return m_popupMenu; }
    void setHint(const QString& hint);
    QString hint() const { return m_hint; }
    void setShowHint(bool on);
    void setIcon(const QIcon& icon);
    QIcon icon() const { return m_icon; }
    void setIconVisible(bool on);
    bool iconVisible() const { return m_iconVisible; }
    void setEnabled(bool on) { m_enabled = on; }
    bool enabled() const { return m_enabled; }
    void setMinimizeToTray(bool on) { m_minimizeToTray = on; }
    bool minimizeToTray() const { return m_minimizeToTray; }
    void setShowformOnTrayIconClick(bool on) { m_showFormOnClick = on; }
    bool showformOnTrayIconClick() const { return m_showFormOnClick; }
    void setPersistenttrayIcon(bool on);
    bool persistenttrayIcon() const { return m_persistent; }

    void AddTrayIcon();
    void RemoveTrayIcon();
    void UpdateTrayIcon();
    void HideMainWindow();
    void MinimizeToTrayNow();
    void RestoreMainWindow();

    // The tip as the notification area receives it: empty, or the hint cut to 127.
    QString effectiveTip() const;
    // Whether a notification area is there to hold the icon right now.
    static bool trayAvailable();
    // Whether the icon is on show in the notification area.
    bool isShownInTray() const;

    // What a left click on the icon does (on the button's release).
    void Click();

    // Tests stand in for a notification area.
    static void setTrayAvailableOverride(int available); // -1: ask the desktop

signals:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_owner;
    QSystemTrayIcon* m_tray;
    QPointer<QMenu> m_popupMenu;
    QString m_hint;
    QIcon m_icon;
    bool m_showHint = true;
    bool m_iconVisible = false;
    bool m_enabled = true;
    bool m_minimizeToTray = false;
    bool m_showFormOnClick = false;
    bool m_persistent = true;
};
