#pragma once
// A label for a path: a path wider than the label loses its middle, not its file name.

#include <QLabel>

class TPathLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};
