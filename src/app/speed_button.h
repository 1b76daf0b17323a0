#pragma once
// The window's command buttons: glyph and caption centred together as one group, so that
// buttons of one column line up whatever blanks their captions carry. Space and Enter click
// the focused one.

#include <QToolButton>

class TSpeedButton : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
