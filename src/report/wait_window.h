#pragma once
// The small window shown while an index is being built.

#include <QWidget>

class QLabel;

class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);

    QLabel* Label1;

    // Centres the window on `over` (the main window) and shows it without making it modal.
    void showCentredOn(QWidget* over);
};
