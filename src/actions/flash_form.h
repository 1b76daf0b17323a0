#pragma once
// A grey bar that flickers at the top left of the screen after a deletion or a report.

#include <QDialog>

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // Shown modally, the form closes itself as soon as it has appeared.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
};
