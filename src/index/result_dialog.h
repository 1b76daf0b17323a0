#pragma once
// The dialog that ends an index build.

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

    void SpeedButton1Click();
};
