#include "actions/flash_form.h"

#include <QPalette>
#include <QTimer>

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("Form3");
    setWindowTitle(QStringLiteral("Suppression du fichier."));
    setFixedSize(268, 7);
    move(1, 0);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
}

void TForm3::FormShow() {
    // Queued, so the modal loop has started and the bar has been drawn before it closes.
    QTimer::singleShot(0, this, [this] { close(); });
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    move(1, 0);
    FormShow();
}
