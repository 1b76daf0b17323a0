#pragma once
// The dialog that ends an index build. Its handlers live with the other viewer commands
// (viewer_handlers.cpp).

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QPushButton* BitBtn1;
    QPushButton* SpeedButton1;

    // "See Index file": closes with OK, shrinks the main window, opens the last index.
    void BitBtn1Click();
    // "Close": closes with OK.
    void SpeedButton1Click();
};
