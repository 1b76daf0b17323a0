#pragma once
// A title bar drawn by the window itself, for Wayland compositors that leave the title bar
// to Qt: Qt's bar always offers maximise, which a fixed-size window cannot honour. The window
// goes frameless and shows the bar above its controls: title, minimise where the window had
// it, close where it had it, a drag on the bar moves the window. Elsewhere nothing changes.

class QWidget;

namespace kvx {

// Whether this run's windows draw their own title bar; decided at the first call, which must
// come after the application object exists.
bool ownTitleBars();

// Gives a fixed-size window, before it is first shown, its own title bar. Its controls move
// into a client area of the window's former size, and the window grows by the bar's height.
void addTitleBar(QWidget* window);

// The same for a window whose layout places its controls (a message box): the layout leaves
// the bar's height free at the top, and the window's size stays the layout's to set.
void addTitleBarAboveLayout(QWidget* window);

// Where the window's controls stand: the window itself unless it has its own title bar.
QWidget* clientArea(QWidget* window);

// Fixes the height of the window's client area, below its own title bar if it has one.
void setFixedClientHeight(QWidget* window, int height);

} // namespace kvx
