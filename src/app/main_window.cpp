#include "app/main_window.h"

#include "app/application.h"
#include "app/path_label.h"
#include "app/speed_button.h"
#include "app/title_bar.h"
#include "app/widget_factory.h"
#include "drawing/file_list_box.h"
#include "drawing/shell_tree_view.h"
#include "index/index_pages.h"
#include "preview/dwg_thumbnail.h"
#include "tray/cool_tray_icon.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QSessionManager>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QWindow>

using kvx::place;
using kvx::setBold;

TForm1* Form1 = nullptr;

namespace {

constexpr int kClientWidth = 367;
constexpr int kClientHeight = 399;
// Client heights of the window in its two modes. The layout was drawn for a 27-pixel frame
// (outer height 48); applied to the client area, it holds whatever frame the window manager
// draws. Leaving the restore bar, by the label or beside it, gives back the whole client area.
constexpr int kCompactClientHeight = 21;
constexpr int kFullClientHeight = kClientHeight;
// The "Open with" icon's picture, inside its 40-pixel cell.
constexpr int kClearIcon = 34;
// The release line's colour, kept readable on whatever background the desktop's theme gives.
const QColor kTeal(0x00, 0x80, 0x80);

QToolButton* speedButton(QWidget* parent, const char* name, int l, int t, int w, int h,
                         const QString& caption, const QString& hint, const char* glyph,
                         bool flat = true) {
    auto* b = place<TSpeedButton>(parent, name, l, t, w, h);
    b->setText(caption);
    b->setToolTip(hint);
    b->setAutoRaise(flat);
    // Every command is reached with Tab; a click on a flat one leaves the focus where it was
    // (on the drawing list, say).
    b->setFocusPolicy(flat ? Qt::TabFocus : Qt::StrongFocus);
    if (glyph) {
        b->setIcon(QIcon(QString::fromLatin1(glyph)));
        b->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly
                                                : Qt::ToolButtonTextBesideIcon);
    }
    return b;
}

QIcon twoStateGlyph(const char* name) {
    QIcon icon(QStringLiteral(":/glyphs/%1.png").arg(QLatin1String(name)));
    icon.addFile(QStringLiteral(":/glyphs/%1-disabled.png").arg(QLatin1String(name)), QSize(),
                 QIcon::Disabled);
    return icon;
}

QWidget* addPage(QTabWidget* tabs, const char* name, const QString& caption) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    tabs->addTab(page, caption);
    return page;
}

QLabel* label(QWidget* parent, const char* name, int l, int t, int w, int h, const QString& text) {
    auto* lb = place<QLabel>(parent, name, l, t, w, h);
    lb->setText(text);
    return lb;
}

QGroupBox* groupBox(QWidget* parent, const char* name, int l, int t, int w, int h,
                    const QString& caption) {
    auto* g = place<QGroupBox>(parent, name, l, t, w, h);
    g->setTitle(caption);
    return g;
}

QCheckBox* checkBox(QWidget* parent, const char* name, int l, int t, int w, int h,
                    const QString& caption, bool checked = false) {
    auto* c = place<QCheckBox>(parent, name, l, t, w, h);
    c->setText(caption);
    c->setChecked(checked);
    return c;
}

QLabel* optionIcon(QWidget* parent, const char* name, const char* image) {
    auto* i = place<QLabel>(parent, name, 8, 14, 40, 40);
    i->setPixmap(QPixmap(QString::fromLatin1(image)));
    i->setAlignment(Qt::AlignCenter);
    return i;
}

} // namespace

TForm1::TForm1(const QStringList& arguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_arguments(arguments) {
    Form1 = this;
    setObjectName("Form1");
    setWindowTitle(QStringLiteral(" Korvenix 3.1"));
    setWindowIcon(kvx::programIcon());
    QFont f = font();
    f.setPointSize(8);
    setFont(f);
    setFixedSize(kClientWidth, kClientHeight);

    Label6 = label(this, "Label6", 1, 5, 133, 13, QStringLiteral("Double-click here to restore."));
    kvx::autoSizeLabel(Label6);
    Label6->hide();
    Label6->installEventFilter(this);

    // Scratch surface of the report writer; never shown.
    Image7 = place<QLabel>(this, "Image7", 16, 238, 256, 126);
    Image7->setAlignment(Qt::AlignCenter);
    Image7->hide();

    PageControl1 = place<QTabWidget>(this, "PageControl1", 3, 2, 360, 394);
    PageControl1->setUsesScrollButtons(false);
    PageControl1->tabBar()->setAttribute(Qt::WA_Hover); // hot-tracking

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    Quitter1 = PopupMenu1->addAction(QStringLiteral("Restore"));
    Quitter1->setObjectName("Quitter1");
    Aide1 = PopupMenu1->addAction(QStringLiteral("Help"));
    Aide1->setObjectName("Aide1");
    Apropos1 = PopupMenu1->addAction(QStringLiteral("Exit"));
    Apropos1->setObjectName("Apropos1");

    buildViewTab();
    buildIndexTab();
    buildOptionsTab();
    buildHelpTab();
    // The form's own default page; start-up turns to "View" once the settings are in.
    PageControl1->setCurrentWidget(TabSheet3);

    kvx::fitCaptions(this);
    connectHandlers();
    // The trees fill themselves and select the desktop, which lists its drawings.
    kvx::runHandler([this] { ShellTreeView1->populate(); });
    kvx::runHandler([this] { ShellTreeView2->populate(); });
    // The Index tab keeps its design captions until it is first shown.
    connectIndexHandlers();
    connectIndexBuildHandlers();
    connectKeys();
    kvx::runHandler([this] { FormCreate(); });
}

TForm1::~TForm1() {
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::buildViewTab() {
    TabSheet1 = addPage(PageControl1, "TabSheet1", QStringLiteral("View"));

    GroupBox1 = groupBox(TabSheet1, "GroupBox1", 3, 3, 345, 182, QStringLiteral(" Fichiers "));
    ShellTreeView1 = place<TShellTreeView>(GroupBox1, "ShellTreeView1", 8, 24, 185, 137);
    FileListBox1 = place<TFileListBox>(GroupBox1, "FileListBox1", 200, 24, 137, 137);
    FileListBox1->setMask(QStringLiteral("*.dwg"));
    Label1 = place<TPathLabel>(GroupBox1, "Label1", 8, 163, 329, 13);
    Label1->setText(QStringLiteral("File"));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setBold(Label1);
    Label1->fitLineHeight();

    GroupBox2 = groupBox(TabSheet1, "GroupBox2", 3, 188, 345, 175, QStringLiteral(" Preview "));
    Label5 = label(GroupBox2, "Label5", 72, 8, 185, 13, QStringLiteral("Version 2.5/2.52"));
    Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setBold(Label5);
    colourReleaseLine();
    DwgThumbnail1 = place<TDwgThumbnail>(GroupBox2, "DwgThumbnail1", 8, 24, 252, 126);
    Label4 = label(GroupBox2, "Label4", 6, 24, 254, 126,
                   QStringLiteral("Fichier antérieur à la version 13. Pas d'aperçu disponible."));
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setWordWrap(true);
    {
        QFont lf = Label4->font();
        lf.setBold(true);
        lf.setPixelSize(16);
        Label4->setFont(lf);
        // Black on the caption-text colour (white), in the window and in report pictures.
        QPalette pal = Label4->palette();
        pal.setColor(QPalette::WindowText, Qt::black);
        pal.setColor(QPalette::Window, Qt::white);
        Label4->setPalette(pal);
        Label4->setAutoFillBackground(true);
    }
    Label4->hide();

    SpeedButton1 = speedButton(GroupBox2, "SpeedButton1", 263, 24, 76, 32, QStringLiteral("Open"),
                               QStringLiteral("Ouvrir dans AutoCAD"), ":/glyphs/open.png");
    SpeedButton2 = speedButton(GroupBox2, "SpeedButton2", 263, 56, 76, 32, QStringLiteral("Erase"),
                               QStringLiteral("Supprimer le fichier"), ":/glyphs/erase.png");
    SpeedButton6 =
        speedButton(GroupBox2, "SpeedButton6", 263, 88, 76, 32, QStringLiteral("Report"),
                    QStringLiteral("Créer le rapport Html pour le fichier"), ":/glyphs/report.png");
    SpeedButton3 = speedButton(GroupBox2, "SpeedButton3", 263, 120, 76, 32, QStringLiteral("Slide"),
                               QStringLiteral("Lancer le Diaporama"), ":/glyphs/slide.png");
    SpeedButton4 = speedButton(GroupBox2, "SpeedButton4", 263, 120, 76, 32, QStringLiteral("Stop"),
                               QStringLiteral("Arrêter le Diaporama"), ":/glyphs/stop.png");
    SpeedButton4->hide();
    SpeedButton4->setEnabled(false);
    CheckBox3 = checkBox(GroupBox2, "CheckBox3", 8, 155, 57, 17, QStringLiteral("Zoom"));
}

void TForm1::buildIndexTab() {
    Html = addPage(PageControl1, "Html", QStringLiteral("Index"));

    GroupBox9 = groupBox(Html, "GroupBox9", 3, 3, 345, 199, QStringLiteral(" Directory to process "));
    ShellTreeView2 = place<TShellTreeView>(GroupBox9, "ShellTreeView2", 8, 24, 329, 137);
    Label11 = label(GroupBox9, "Label11", 8, 164, 329, 13, QStringLiteral("Label11"));
    setBold(Label11);
    Label12 = label(GroupBox9, "Label12", 8, 180, 38, 13, QStringLiteral("Label12"));
    kvx::autoSizeLabel(Label12);
    FileListBox2 = place<TFileListBox>(GroupBox9, "FileListBox2", 312, 176, 17, 17);
    FileListBox2->setLister(kvx::listReportPages);
    FileListBox2->hide();

    GroupBox10 = groupBox(Html, "GroupBox10", 3, 204, 345, 157, QString());
    Label14 = label(GroupBox10, "Label14", 8, 16, 74, 13, QStringLiteral("Index file name:"));
    kvx::autoSizeLabel(Label14);
    Edit4 = place<QLineEdit>(GroupBox10, "Edit4", 88, 12, 193, 21);
    Edit4->setToolTip(QStringLiteral("Entrez le nom du fichier d'Index"));
    CheckBox7 = checkBox(GroupBox10, "CheckBox7", 288, 15, 49, 17, QStringLiteral("Auto"));
    CheckBox7->setToolTip(
        QStringLiteral("Le nom du fichier Index est déterminé automatiquement"));
    SpeedButton7 = speedButton(GroupBox10, "SpeedButton7", 8, 40, 330, 36,
                               QStringLiteral(" Use existing files to build Index  "), QString(),
                               ":/glyphs/build-existing.png");
    SpeedButton7->setIcon(twoStateGlyph("build-existing"));
    setBold(SpeedButton7);
    SpeedButton8 = speedButton(GroupBox10, "SpeedButton8", 8, 78, 330, 36,
                               QStringLiteral("Create new files to build Index "), QString(),
                               ":/glyphs/build-new.png");
    SpeedButton8->setIcon(twoStateGlyph("build-new"));
    setBold(SpeedButton8);
    SpeedButton9 = speedButton(GroupBox10, "SpeedButton9", 8, 116, 330, 36,
                               QStringLiteral("Show last created Index"), QString(),
                               ":/glyphs/show-index.png");
    setBold(SpeedButton9);
}

void TForm1::buildOptionsTab() {
    TabSheet2 = addPage(PageControl1, "TabSheet2", QStringLiteral("Options"));

    GroupBox3 = groupBox(TabSheet2, "GroupBox3", 3, 3, 345, 58,
                         QStringLiteral(" Slideshow Temporisation  "));
    Label2 = label(GroupBox3, "Label2", 70, 30, 20, 13, QStringLiteral("Fast"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
    kvx::autoSizeLabel(Label2);
    TrackBar1 = place<QSlider>(GroupBox3, "TrackBar1", 96, 26, 185, 25);
    TrackBar1->setOrientation(Qt::Horizontal);
    TrackBar1->setRange(1, 20);
    TrackBar1->setValue(4);
    TrackBar1->setPageStep(2);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(1);
    Label3 = label(GroupBox3, "Label3", 288, 30, 23, 13, QStringLiteral("Slow"));
    kvx::autoSizeLabel(Label3);

    GroupBox4 = groupBox(TabSheet2, "GroupBox4", 3, 64, 345, 58, QStringLiteral(" Open with "));
    RadioButton2 = place<QRadioButton>(GroupBox4, "RadioButton2", 48, 24, 121, 25);
    RadioButton2->setText(QStringLiteral("AutoCAD 2000/2002"));
    RadioButton2->setChecked(true);
    RadioButton3 = place<QRadioButton>(GroupBox4, "RadioButton3", 216, 24, 121, 25);
    RadioButton3->setText(QStringLiteral("AutoCAD 2004/2005"));

    GroupBox5 =
        groupBox(TabSheet2, "GroupBox5", 3, 125, 345, 58, QStringLiteral(" Files deletion "));
    CheckBox1 = checkBox(GroupBox5, "CheckBox1", 56, 22, 209, 25,
                         QStringLiteral("Confirm before deleting files."), true);

    GroupBox6 = groupBox(TabSheet2, "GroupBox6", 4, 184, 345, 58, QStringLiteral(" Korvenix "));
    CheckBox2 = checkBox(GroupBox6, "CheckBox2", 56, 14, 281, 17,
                         QStringLiteral("Korvenix always on top  (restart needed)"), true);
    CheckBox6 = checkBox(GroupBox6, "CheckBox6", 56, 36, 273, 17,
                         QStringLiteral("Launch Korvenix at Windows Startup"));

    GroupBox12 = groupBox(TabSheet2, "GroupBox12", 4, 244, 345, 58, QStringLiteral(" Jpg / Html "));
    Label13 = label(GroupBox12, "Label13", 120, 14, 100, 13,
                    QStringLiteral(" After index creation: "));
    kvx::autoSizeLabel(Label13);
    CheckBox4 =
        checkBox(GroupBox12, "CheckBox4", 56, 30, 137, 25, QStringLiteral("Delete Html files."));
    CheckBox5 =
        checkBox(GroupBox12, "CheckBox5", 200, 30, 137, 25, QStringLiteral("Delete Jpg files."));

    GroupBox13 = groupBox(TabSheet2, "GroupBox13", 4, 304, 345, 58,
                          QStringLiteral(" Image size for report creation "));
    CheckBox8 = checkBox(GroupBox13, "CheckBox8", 56, 24, 273, 17,
                         QStringLiteral("Use large size images (504 x 256 pixels)"));

    // One 40 x 40 icon at the left of each option group. The "Korvenix" group has room
    // for one only, so its start-up icon (Image5) exists but stays hidden.
    Image1 = optionIcon(GroupBox3, "Image1", ":/options/image1.png");
    Image2 = optionIcon(GroupBox4, "Image2", ":/options/image2.png");
    // The first radio button starts where this icon's cell ends: a smaller picture, centred in
    // the same cell, stands clear of it.
    Image2->setPixmap(Image2->pixmap().scaled(kClearIcon, kClearIcon, Qt::KeepAspectRatio,
                                              Qt::SmoothTransformation));
    Image3 = optionIcon(GroupBox5, "Image3", ":/options/image3.png");
    Image4 = optionIcon(GroupBox6, "Image4", ":/options/image4.png");
    Image5 = optionIcon(GroupBox6, "Image5", ":/options/image5.png");
    Image5->hide();
    Image6 = optionIcon(GroupBox12, "Image6", ":/options/image6.png");
    Image8 = optionIcon(GroupBox13, "Image8", ":/options/image8.png");
}

void TForm1::buildHelpTab() {
    TabSheet3 = addPage(PageControl1, "TabSheet3", QStringLiteral("Help"));

    GroupBox7 = groupBox(TabSheet3, "GroupBox7", 3, 179, 345, 78, QStringLiteral(" Korvenix Help "));
    SpeedButton10 = speedButton(GroupBox7, "SpeedButton10", 8, 24, 193, 41,
                                QStringLiteral("Show help file"), QString(), ":/glyphs/help.png",
                                false);
    setBold(SpeedButton10);
    GroupBox8 = groupBox(TabSheet3, "GroupBox8", 3, 268, 345, 81, QString());
    SpeedButton5 = speedButton(GroupBox8, "SpeedButton5", 200, 22, 124, 44, QString(),
                               QStringLiteral("Visiter le site Web"), ":/glyphs/web.png");
    SpeedButton5->setIconSize(QSize(124, 44));
}

void TForm1::connectHandlers() {
    auto on = [this](void (TForm1::*handler)()) {
        return [this, handler] { kvx::runHandler([this, handler] { (this->*handler)(); }); };
    };
    connect(Quitter1, &QAction::triggered, this, on(&TForm1::Quitter1Click));
    connect(Apropos1, &QAction::triggered, this, on(&TForm1::Apropos1Click));
    connect(SpeedButton1, &QToolButton::clicked, this, on(&TForm1::SpeedButton1Click));
    connect(SpeedButton2, &QToolButton::clicked, this, on(&TForm1::SpeedButton2Click));
    connect(SpeedButton6, &QToolButton::clicked, this, on(&TForm1::SpeedButton6Click));
    connect(SpeedButton9, &QToolButton::clicked, this, on(&TForm1::SpeedButton9Click));
    connect(SpeedButton10, &QToolButton::clicked, this, on(&TForm1::SpeedButton10Click));
    connect(Aide1, &QAction::triggered, this, on(&TForm1::SpeedButton10Click));
    connect(SpeedButton5, &QToolButton::clicked, this, on(&TForm1::SpeedButton5Click));
    connect(SpeedButton3, &QToolButton::clicked, this, on(&TForm1::SpeedButton3Click));
    connect(SpeedButton4, &QToolButton::clicked, this, on(&TForm1::SpeedButton4Click));
    connect(ShellTreeView1, &TShellTreeView::changed, this, on(&TForm1::ShellTreeView1Change));
    connect(FileListBox1, &TFileListBox::userClick, this, on(&TForm1::FileListBox1Click));
    // The end of the session is a close request like the window's own.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { close(); });
    connectOptionHandlers();
}

// Start-up, from the settings to the choice of a hidden start.
void TForm1::FormCreate() {
    RestoreSettings();
    PageControl1->setCurrentWidget(TabSheet1);

    TrayIcon1 = new TCoolTrayIcon(this);
    TrayIcon1->setPopupMenu(PopupMenu1);
    TrayIcon1->setHint(QStringLiteral("Korvenix 3 - Click to restore"));
    TrayIcon1->setMinimizeToTray(true);
    TrayIcon1->setShowformOnTrayIconClick(true);
    TrayIcon1->setPersistenttrayIcon(false);

    // Any argument at all starts the program in the notification area; with no
    // notification area to hold the icon, as an ordinary minimised window instead.
    m_startMinimised = !m_arguments.isEmpty();
    if (m_startMinimised) {
        if (TCoolTrayIcon::trayAvailable())
            TrayIcon1->AddTrayIcon();
        else
            showMinimized();
    }
}

void TForm1::destroyTrayIcon() {
    delete TrayIcon1; // removes the icon from the notification area
    TrayIcon1 = nullptr;
}

void TForm1::FormActivate() {
    // Once on top, the window stays there for the run: unchecking takes effect next start.
    if (!CheckBox2->isChecked() || m_onTopApplied)
        return;
    QWidget* active = QApplication::activeWindow();
    if (!active)
        active = this;
    m_onTopApplied = true;
    const Qt::WindowFlags flags = active->windowFlags() | Qt::WindowStaysOnTopHint;
    if (QWindow* window = active->windowHandle()) {
        // Tell the window system directly: setWindowFlags would hide the window.
        active->overrideWindowFlags(flags);
        window->setFlags(flags);
    } else {
        active->setWindowFlags(flags);
    }
}

void TForm1::FormClose() {
    try {
        destroyTrayIcon();
    } catch (...) {
        // Closing goes on whatever the icon does.
    }
}

void TForm1::FormDblClick() {
    if (!m_compact) {
        PageControl1->hide();
        Label6->setGeometry(2, 3, 150, 15);
        kvx::fitLabel(Label6);
        Label6->show();
        Label6->setEnabled(true);
        kvx::setFixedClientHeight(this, kCompactClientHeight);
        m_compact = true;
    } else {
        PageControl1->show();
        kvx::setFixedClientHeight(this, kFullClientHeight);
        Label6->hide();
        m_compact = false;
    }
}

void TForm1::Label6DblClick() {
    PageControl1->show();
    kvx::setFixedClientHeight(this, kFullClientHeight);
    Label6->hide();
    m_compact = false;
}

void TForm1::Quitter1Click() {
    if (TrayIcon1) {
        TrayIcon1->RestoreMainWindow();
    } else {
        showNormal();
        raise();
        activateWindow();
    }
}

void TForm1::Apropos1Click() {
    commitEdit4();
    // The window closes, and the program ends, once the running operations have returned.
    if (deferClose())
        return;
    destroyTrayIcon();
    QApplication::quit();
}

void TForm1::centreOnScreen() {
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TForm1::colourReleaseLine() {
    QPalette pal = Label5->palette();
    const QColor background = Label5->parentWidget()->palette().color(QPalette::Window);
    pal.setColor(QPalette::WindowText, kvx::legibleOn(kTeal, background));
    Label5->setPalette(pal);
}

bool TForm1::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        kvx::runHandler([this] { FormActivate(); });
    if (e->type() == QEvent::ApplicationPaletteChange || e->type() == QEvent::PaletteChange) {
        // The theme changed: the window takes its new colours first.
        const bool handled = QWidget::event(e);
        colourReleaseLine();
        return handled;
    }
    // Centred at its first showing, also when that is a restore from the notification area
    // or the task bar after a minimised start. The show event comes before the window maps.
    if (e->type() == QEvent::Show && !e->spontaneous() && !m_shownOnce) {
        m_shownOnce = true;
        centreOnScreen();
    }
    return QWidget::event(e);
}

void TForm1::commitEdit4() {
    // A name typed into Edit4 is saved on leaving it; closing the window leaves it too.
    if (focusWidget() == Edit4)
        controlHandler(&TForm1::Edit4Exit);
}

void TForm1::closeEvent(QCloseEvent* e) {
    // The running operation is told; it closes the window again once it has returned.
    if (deferClose()) {
        e->ignore();
        return;
    }
    commitEdit4();
    kvx::runHandler([this] { FormClose(); });
    e->accept();
    QApplication::quit();
}

void TForm1::mouseDoubleClickEvent(QMouseEvent* e) {
    // Only a double click on the window itself, outside every control, toggles the mode;
    // double clicks that controls ignore bubble up here and must not count.
    const QWidget* hit = childAt(e->position().toPoint());
    if (e->button() == Qt::LeftButton && (!hit || hit == kvx::clientArea(this)))
        kvx::runHandler([this] { FormDblClick(); });
    e->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (watched == FileListBox1 && e->type() == QEvent::KeyPress &&
        drawingListKey(static_cast<QKeyEvent*>(e)))
        return true;
    if (watched == Label6 && e->type() == QEvent::MouseButtonDblClick) {
        kvx::runHandler([this] { Label6DblClick(); });
        return true;
    }
    if (watched == Edit4 && e->type() == QEvent::FocusOut) {
        // Only a move to another control of this window leaves the edit box: switching to
        // another program, opening a menu or hiding to the tray keeps the caret in it.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            isActiveWindow())
            controlHandler(&TForm1::Edit4Exit);
    }
    return QWidget::eventFilter(watched, e);
}
