#include "report/wait_window.h"

#include "app/widget_factory.h"

#include <QIcon>
#include <QLabel>

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("Form4");
    setWindowTitle(QStringLiteral(" Korvenix 3.1"));
    setWindowIcon(QIcon(QStringLiteral(":/glyphs/wait.png")));
    setFixedSize(287, 65);
    Label1 = kvx::place<QLabel>(this, "Label1", 8, 24, 194, 13);
    Label1->setText(QStringLiteral("Creating report file ....please wait."));
    kvx::setBold(Label1);
    kvx::autoSizeLabel(Label1);
    kvx::fitCaptions(this);
}

void TForm4::showCentredOn(QWidget* over) {
    if (over) {
        const QRect o = over->frameGeometry();
        move(o.center() - QPoint(width() / 2, height() / 2));
    }
    show();
}
