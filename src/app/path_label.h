#pragma once
// A label for a path: a path wider than the label loses its middle, not its file name. Every
// path stands on one baseline, low enough for the tallest fallback font that names in other
// scripts draw with, so that no name loses its underscores or the tops of its characters.

#include <QLabel>

class TPathLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Grows the label downwards to the height of that line, as far as its parent's frame.
    void fitLineHeight();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    qreal m_ascent = -1; // of the tallest line, measured once per font
    qreal m_descent = 0;
    void measure();
};
