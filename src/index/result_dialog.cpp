#include "index/result_dialog.h"

#include "app/application.h"
#include "app/widget_factory.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

using kvx::place;

TForm2::TForm2(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("Form2");
    setWindowTitle(QStringLiteral(" Index"));
    setFixedSize(250, 119);

    GroupBox1 = place<QGroupBox>(this, "GroupBox1", 4, 0, 241, 65);
    Label1 = place<QLabel>(GroupBox1, "Label1", 8, 24, 225, 33);
    Label1->setText(QStringLiteral("Creation of the report is terminated. Choose an option..."));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setWordWrap(true);
    kvx::setBold(Label1);

    BitBtn1 = place<QPushButton>(this, "BitBtn1", 4, 72, 129, 41);
    BitBtn1->setText(QStringLiteral("See Index file"));
    BitBtn1->setIcon(QIcon(QStringLiteral(":/glyphs/see-index.png")));
    BitBtn1->setDefault(true);
    kvx::setBold(BitBtn1);

    SpeedButton1 = place<QPushButton>(this, "SpeedButton1", 140, 72, 105, 41);
    SpeedButton1->setText(QStringLiteral("Close"));
    SpeedButton1->setIcon(QIcon(QStringLiteral(":/glyphs/close.png")));
    SpeedButton1->setAutoDefault(false);
    kvx::setBold(SpeedButton1);

    setTabOrder(BitBtn1, SpeedButton1);
    connect(BitBtn1, &QPushButton::clicked, this,
            [this] { kvx::runHandler([this] { BitBtn1Click(); }); });
    connect(SpeedButton1, &QPushButton::clicked, this,
            [this] { kvx::runHandler([this] { SpeedButton1Click(); }); });
}
