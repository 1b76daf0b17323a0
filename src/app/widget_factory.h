#pragma once
// Fixed-geometry construction of the forms' controls: each control is placed at its
// designed pixel position and carries its control name as objectName.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <QWidget>

namespace kvx {

template <class W>
W* place(QWidget* parent, const char* name, int left, int top, int width, int height) {
    W* w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(left, top, width, height);
    return w;
}

inline void setBold(QWidget* w) {
    QFont f = w->font();
    f.setBold(true);
    w->setFont(f);
}

// Marks a label without a fixed width: fitCaptions lets it grow to show its whole text in
// the desktop's font, which is wider than the one the layout was drawn with.
void autoSizeLabel(QLabel* label);

// Once a form holds all its controls: check boxes, radio buttons and marked labels keep the
// window's font and grow to show their whole caption (a right-aligned label leftwards). One
// that would pass its parent's edge moves back inside; an edit box beside it gives up the
// width it needs. A caption is never drawn smaller than the window's font.
void fitCaptions(QWidget* form);
void fitLabel(QLabel* label);

// The contrast of two colours as the accessibility guidelines measure it: 1 (none) to 21.
double contrastRatio(const QColor& a, const QColor& b);
// `colour` made as little darker (on a light background) or lighter (on a dark one) as it
// takes to stand at `ratio` against `background`; unchanged when it already does.
QColor legibleOn(const QColor& colour, const QColor& background, double ratio = 4.5);

// A fixed-size window that does not stay maximised: whoever asks for it (a title bar the
// toolkit draws itself, the window system), the window takes the size it is given, as the
// window system requires, and is restored to its own at once.
void refuseMaximise(QWidget* window);

// Group boxes drawn as the layout was designed: the caption sits on the frame line.
extern const char* const kFormStyleSheet;

} // namespace kvx
