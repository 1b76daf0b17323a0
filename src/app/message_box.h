#pragma once
// Modal message boxes with the program's French titles and buttons, behind one seam so
// that tests can answer them without a person.

#include <QList>
#include <QString>

class QWidget;

namespace kvx {

// Plain: no icon, the program's title (a bare notice such as a refused name).
enum class MsgKind { Warning, Error, Information, Confirmation, Plain };

enum MsgButton : int { MbOk = 1, MbCancel = 2, MbYes = 4, MbNo = 8 };

struct ShownMessage {
    MsgKind kind;
    QString title;
    QString text;
    int buttons;
    bool aboveOthers = false;
};

QString messageTitle(MsgKind kind);

// Shows a modal box and returns the button chosen; Escape or closing the box gives
// MbCancel (or MbNo, or MbOk when it is the only button). `aboveOthers` keeps the box above
// every other window, for a box that follows the start of another program, whose window may
// come up after the box.
int messageDlg(const QString& text, MsgKind kind, int buttons, int defaultButton = 0,
               QWidget* parent = nullptr, bool aboveOthers = false);

// The one error report of the program: the text in an "Erreur" box with one "OK".
void showError(const QString& text);
// A plain box with one "OK".
void showMessage(const QString& text);

// Test seam: a queued answer is returned instead of showing the box. The last 32 boxes
// asked for are recorded, answered or not.
namespace MessageSeam {
void setNextAnswer(int button);
// When on, a box with no queued answer is answered as if Escape were pressed.
void setAutoAnswer(bool on);
QList<ShownMessage> shown();
void clear();
} // namespace MessageSeam

} // namespace kvx
