// The main window and the three secondary forms against their designed layout, the
// compact mode and the start-up.

#include "layout_table.h"
#include "settings_fixture.h"

#include "actions/flash_form.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/widget_factory.h"
#include "index/result_dialog.h"
#include "report/wait_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>
#include <QToolButton>
#include <memory>
#include <stdexcept>

using layout::Row;
using namespace layout;

namespace {

// clang-format off
const Row kFormRows[] = {
    {"Label6", "Form1", {1, 5, 133, 13}, "Double-click here to restore.", nullptr, Hidden | AutoSize},
    {"Image7", "Form1", {16, 238, 256, 126}, nullptr, nullptr, Hidden},
    {"PageControl1", "Form1", {3, 2, 360, 394}, nullptr, nullptr, None},
};

const Row kViewRows[] = {
    // The caption and the labels show the desktop's folder from the start.
    {"GroupBox1", "TabSheet1", {3, 3, 345, 182}, nullptr, nullptr, None},
    {"ShellTreeView1", "GroupBox1", {8, 24, 185, 137}, nullptr, nullptr, None},
    {"FileListBox1", "GroupBox1", {200, 24, 137, 137}, nullptr, nullptr, None},
    {"Label1", "GroupBox1", {8, 163, 329, 13}, nullptr, nullptr, Bold | Taller},
    {"GroupBox2", "TabSheet1", {3, 188, 345, 175}, " Preview ", nullptr, None},
    {"Label5", "GroupBox2", {72, 8, 185, 13}, nullptr, nullptr, Bold | Hidden},
    {"DwgThumbnail1", "GroupBox2", {8, 24, 252, 126}, nullptr, nullptr, Hidden},
    {"Label4", "GroupBox2", {6, 24, 254, 126},
     "Fichier antérieur à la version 13. Pas d'aperçu disponible.", nullptr, Bold | Hidden},
    {"SpeedButton1", "GroupBox2", {263, 24, 76, 32}, "Open", "Ouvrir dans AutoCAD", None},
    {"SpeedButton2", "GroupBox2", {263, 56, 76, 32}, "Erase", "Supprimer le fichier", None},
    {"SpeedButton6", "GroupBox2", {263, 88, 76, 32}, "Report", "Créer le rapport Html pour le fichier", None},
    {"SpeedButton3", "GroupBox2", {263, 120, 76, 32}, "Slide", "Lancer le Diaporama", None},
    {"SpeedButton4", "GroupBox2", {263, 120, 76, 32}, "Stop", "Arrêter le Diaporama", Hidden | Disabled},
    {"CheckBox3", "GroupBox2", {8, 155, 57, 17}, "Zoom", nullptr, None},
};

const Row kIndexRows[] = {
    {"GroupBox9", "Html", {3, 3, 345, 199}, " Directory to process ", nullptr, None},
    {"ShellTreeView2", "GroupBox9", {8, 24, 329, 137}, nullptr, nullptr, None},
    {"Label11", "GroupBox9", {8, 164, 329, 13}, "Label11", nullptr, Bold},
    {"Label12", "GroupBox9", {8, 180, 38, 13}, "Label12", nullptr, AutoSize},
    {"FileListBox2", "GroupBox9", {312, 176, 17, 17}, nullptr, nullptr, Hidden},
    {"GroupBox10", "Html", {3, 204, 345, 157}, "", nullptr, None},
    {"Label14", "GroupBox10", {8, 16, 74, 13}, "Index file name:", nullptr, AutoSize},
    {"Edit4", "GroupBox10", {88, 12, 193, 21}, "", "Entrez le nom du fichier d'Index", Yields},
    {"CheckBox7", "GroupBox10", {288, 15, 49, 17}, "Auto", "Le nom du fichier Index est déterminé automatiquement", None},
    {"SpeedButton7", "GroupBox10", {8, 40, 330, 36}, " Use existing files to build Index  ", nullptr, Bold},
    {"SpeedButton8", "GroupBox10", {8, 78, 330, 36}, "Create new files to build Index ", nullptr, Bold},
    {"SpeedButton9", "GroupBox10", {8, 116, 330, 36}, "Show last created Index", nullptr, Bold},
};

const Row kOptionsRows[] = {
    {"GroupBox3", "TabSheet2", {3, 3, 345, 58}, " Slideshow Temporisation  ", nullptr, None},
    {"Label2", "GroupBox3", {70, 30, 20, 13}, "Fast", nullptr, AutoSize},
    {"TrackBar1", "GroupBox3", {96, 26, 185, 25}, nullptr, nullptr, None},
    {"Label3", "GroupBox3", {288, 30, 23, 13}, "Slow", nullptr, AutoSize},
    {"GroupBox4", "TabSheet2", {3, 64, 345, 58}, " Open with ", nullptr, None},
    {"RadioButton2", "GroupBox4", {48, 24, 121, 25}, "AutoCAD 2000/2002", nullptr, Checked},
    {"RadioButton3", "GroupBox4", {216, 24, 121, 25}, "AutoCAD 2004/2005", nullptr, None},
    {"GroupBox5", "TabSheet2", {3, 125, 345, 58}, " Files deletion ", nullptr, None},
    {"CheckBox1", "GroupBox5", {56, 22, 209, 25}, "Confirm before deleting files.", nullptr, Checked},
    {"GroupBox6", "TabSheet2", {4, 184, 345, 58}, " Korvenix ", nullptr, None},
    {"CheckBox2", "GroupBox6", {56, 14, 281, 17}, "Korvenix always on top  (restart needed)", nullptr, Checked},
    {"CheckBox6", "GroupBox6", {56, 36, 273, 17}, "Launch Korvenix at Windows Startup", nullptr, None},
    {"GroupBox12", "TabSheet2", {4, 244, 345, 58}, " Jpg / Html ", nullptr, None},
    {"Label13", "GroupBox12", {120, 14, 100, 13}, " After index creation: ", nullptr, AutoSize},
    {"CheckBox4", "GroupBox12", {56, 30, 137, 25}, "Delete Html files.", nullptr, None},
    {"CheckBox5", "GroupBox12", {200, 30, 137, 25}, "Delete Jpg files.", nullptr, None},
    {"GroupBox13", "TabSheet2", {4, 304, 345, 58}, " Image size for report creation ", nullptr, None},
    {"CheckBox8", "GroupBox13", {56, 24, 273, 17}, "Use large size images (504 x 256 pixels)", nullptr, None},
};

const Row kHelpRows[] = {
    {"GroupBox7", "TabSheet3", {3, 179, 345, 78}, " Korvenix Help ", nullptr, None},
    {"SpeedButton10", "GroupBox7", {8, 24, 193, 41}, "Show help file", nullptr, Bold},
    {"GroupBox8", "TabSheet3", {3, 268, 345, 81}, "", nullptr, None},
    {"SpeedButton5", "GroupBox8", {200, 22, 124, 44}, "", "Visiter le site Web", None},
};

const Row kForm2Rows[] = {
    {"GroupBox1", "Form2", {4, 0, 241, 65}, "", nullptr, None},
    {"Label1", "GroupBox1", {8, 24, 225, 33}, "Creation of the report is terminated. Choose an option...", nullptr, Bold},
    {"BitBtn1", "Form2", {4, 72, 129, 41}, "See Index file", nullptr, Bold},
    {"SpeedButton1", "Form2", {140, 72, 105, 41}, "Close", nullptr, Bold},
};

const Row kForm4Rows[] = {
    {"Label1", "Form4", {8, 24, 194, 13}, "Creating report file ....please wait.", nullptr, Bold | AutoSize},
};
// clang-format on

QString textOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    return QStringLiteral("<no text>");
}

template <std::size_t N> void checkRows(QWidget* form, const Row (&rows)[N]) {
    for (const Row& row : rows) {
        const QString name = QString::fromLatin1(row.name);
        auto* w = form->findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable("missing control " + name));
        QCOMPARE(w->parentWidget()->objectName(), QString::fromLatin1(row.parent));
        const QRect g = w->geometry();
        auto* label = qobject_cast<QLabel*>(w);
        const bool box = qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w);
        if ((row.flags & AutoSize) || box) {
            // Grows to fit its caption in this desktop's font, never below the design, and
            // stays inside its group.
            QVERIFY2(g.width() >= row.geometry.width(), qPrintable(name));
            QVERIFY2(g.width() >= w->sizeHint().width(), qPrintable(name + " cuts its caption"));
            QVERIFY2(w->parentWidget()->rect().contains(g), qPrintable(name + " leaves its group"));
            QCOMPARE(g.top(), row.geometry.top());
            if (box)
                QCOMPARE(g.height(), row.geometry.height());
            if (label && (label->alignment() & Qt::AlignRight))
                QCOMPARE(g.right(), row.geometry.right());
            else if (g.left() != row.geometry.left())
                // Moved back only as far as its group's edge asks.
                QVERIFY2(g.left() < row.geometry.left() &&
                             g.right() >= w->parentWidget()->width() - 4,
                         qPrintable(name + " moved"));
        } else if (row.flags & Taller) {
            QCOMPARE(QRect(g.topLeft(), QSize(g.width(), row.geometry.height())), row.geometry);
            QVERIFY2(g.height() >= row.geometry.height() &&
                         g.bottom() < w->parentWidget()->height() - 2,
                     qPrintable(name + " height"));
        } else if (row.flags & Yields) {
            // Starts later when the caption before it grew; ends where it was designed to.
            QVERIFY2(g.left() >= row.geometry.left(), qPrintable(name));
            QCOMPARE(g.right(), row.geometry.right());
            QCOMPARE(g.top(), row.geometry.top());
            QCOMPARE(g.height(), row.geometry.height());
        } else {
            QVERIFY2(g == row.geometry,
                     qPrintable(QStringLiteral("%1 at %2,%3 %4x%5")
                                    .arg(name)
                                    .arg(g.left())
                                    .arg(g.top())
                                    .arg(g.width())
                                    .arg(g.height())));
        }
        if (row.text)
            QCOMPARE(textOf(w), QString::fromUtf8(row.text));
        QCOMPARE(w->toolTip(), row.hint ? QString::fromUtf8(row.hint) : QString());
        QVERIFY2(w->font().bold() == bool(row.flags & Bold), qPrintable(name + " weight"));
        QVERIFY2(w->isVisibleTo(w->parentWidget()) == !(row.flags & Hidden),
                 qPrintable(name + " visibility"));
        QVERIFY2(w->isEnabled() == !(row.flags & Disabled), qPrintable(name + " enabled"));
        // The window's own font: never a narrower face to squeeze a caption in.
        QCOMPARE(w->font().family(), form->font().family());
        QVERIFY2(w->font().stretch() == QFont::AnyStretch ||
                     w->font().stretch() == QFont::Unstretched,
                 qPrintable(name + " condensed"));
        if (name != QLatin1String("Label4")) // the notice's own 16-pixel font
            QVERIFY2(w->font().pointSizeF() == form->font().pointSizeF(),
                     qPrintable(name + " font size"));
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isCheckable())
            QVERIFY2(b->isChecked() == bool(row.flags & Checked), qPrintable(name + " check"));
        // Controls placed apart by the design stay apart once captions have grown.
        for (const Row* other = rows; other != &row; ++other) {
            auto* o = form->findChild<QWidget*>(QString::fromLatin1(other->name));
            if (o && !qstrcmp(other->parent, row.parent) &&
                !other->geometry.intersects(row.geometry))
                QVERIFY2(!o->geometry().intersects(g), qPrintable(name + " covers " + other->name));
        }
    }
}

void dblClickOn(QWidget* w, QPoint pos) { QTest::mouseDClick(w, Qt::LeftButton, {}, pos); }

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init() {
        // Stored values equal to the form's defaults, so the layout shows as designed.
        m_settings = std::make_unique<SettingsFixture>(
            SettingsFixture::defaultValues() +
            "\"ontop\"=\"1\"\r\n\"supp\"=\"1\"\r\n\"ouvre\"=\"1\"\r\n\"temp\"=\"4\"\r\n");
        kvx::MessageSeam::clear();
        kvx::MessageSeam::setAutoAnswer(true);
        kvx::createForms({});
    }
    void cleanup() {
        kvx::destroyForms();
        m_settings.reset();
    }

    void windowItself() {
        QCOMPARE(Form1->objectName(), QStringLiteral("Form1"));
        QCOMPARE(Form1->windowTitle(), QStringLiteral(" Korvenix 3.1"));
        QCOMPARE(QApplication::applicationName(), QStringLiteral("Korvenix 3.1"));
        QCOMPARE(Form1->size(), QSize(367, 399));
        QCOMPARE(Form1->minimumSize(), Form1->maximumSize()); // cannot be resized
        QVERIFY(!(Form1->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(Form1->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!Form1->windowIcon().isNull());
        QCOMPARE(Form1->font().pointSize(), 8);
        checkRows(Form1, kFormRows);
        // Centred on the desktop.
        const QRect area = Form1->screen()->availableGeometry();
        QVERIFY2(qAbs(Form1->geometry().center().x() - area.center().x()) <= 3,
                 qPrintable(QStringLiteral("window at %1, screen centre %2")
                                .arg(Form1->geometry().center().x())
                                .arg(area.center().x())));
    }

    void minimisedStartIsCentredWhenFirstShown() {
        kvx::destroyForms();
        kvx::createForms({"-w"});
        Form1->showNormal(); // as restoring it from the notification area or the task bar
        const QRect area = Form1->screen()->availableGeometry();
        const QPoint offset = Form1->geometry().center() - area.center();
        QVERIFY2(
            qAbs(offset.x()) <= 3 && qAbs(offset.y()) <= 3,
            qPrintable(
                QStringLiteral("%1 pixels off across, %2 down").arg(offset.x()).arg(offset.y())));
    }

    void tabsInOrderAndViewShown() {
        QTabWidget* tabs = Form1->PageControl1;
        QCOMPARE(tabs->count(), 4);
        const QStringList expected{"View", "Index", "Options", "Help"};
        const QStringList pages{"TabSheet1", "Html", "TabSheet2", "TabSheet3"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(tabs->tabText(i), expected[i]);
            QCOMPARE(tabs->widget(i)->objectName(), pages[i]);
        }
        QCOMPARE(tabs->currentIndex(), 0);
    }

    void viewTab() { checkRows(Form1, kViewRows); }
    void indexTab() { checkRows(Form1, kIndexRows); }
    void optionsTab() {
        checkRows(Form1, kOptionsRows);
        QCOMPARE(Form1->TrackBar1->minimum(), 1);
        QCOMPARE(Form1->TrackBar1->maximum(), 20);
        QCOMPARE(Form1->TrackBar1->value(), 4);
        for (QLabel* icon : {Form1->Image1, Form1->Image2, Form1->Image3, Form1->Image4,
                             Form1->Image6, Form1->Image8}) {
            QCOMPARE(icon->size(), QSize(40, 40));
            QVERIFY2(!icon->pixmap().isNull(), qPrintable(icon->objectName()));
        }
        // The "Open with" picture stands clear of the first radio button.
        const QLabel* icon = Form1->Image2;
        QVERIFY(icon->x() + (icon->width() + icon->pixmap().width()) / 2 < Form1->RadioButton2->x());
    }
    void helpTab() { checkRows(Form1, kHelpRows); }

    void noMaximiseButtonAnywhere() {
        // Fixed-size windows that ask for no maximise button; minimise on the main window only.
        for (QWidget* w : std::initializer_list<QWidget*>{Form1, Form2, Form4}) {
            QVERIFY2(!(w->windowFlags() & Qt::WindowMaximizeButtonHint),
                     qPrintable(w->objectName()));
            QCOMPARE(w->minimumSize(), w->maximumSize());
        }
        QVERIFY(Form1->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(Form2->windowFlags() & Qt::WindowMinimizeButtonHint));
    }

    void aMaximiseLeavesTheWindowAsItWas() {
        // As the title bar Qt draws on Wayland asks for it.
        Form1->windowHandle()->setWindowStates(Qt::WindowMaximized);
        QTRY_VERIFY(!(Form1->windowState() & Qt::WindowMaximized));
        QTRY_COMPARE(Form1->minimumSize(), QSize(367, 399));
        QCOMPARE(Form1->maximumSize(), QSize(367, 399));
        QCOMPARE(Form1->size(), QSize(367, 399));
    }

    void releaseLineIsReadableInEveryTheme_data() {
        QTest::addColumn<QColor>("window");
        QTest::newRow("white") << QColor(Qt::white);
        QTest::newRow("light grey") << QColor(0xef, 0xef, 0xef);
        QTest::newRow("dark grey") << QColor(0x35, 0x35, 0x35);
        QTest::newRow("black") << QColor(Qt::black);
    }
    void releaseLineIsReadableInEveryTheme() {
        QFETCH(QColor, window);
        // The desktop's theme, as the program starts under it.
        kvx::destroyForms();
        const QPalette before = QApplication::palette();
        QApplication::setPalette(QPalette(window, window));
        kvx::createForms({});
        const QColor text = Form1->Label5->palette().color(QPalette::WindowText);
        const QColor background = Form1->GroupBox2->palette().color(QPalette::Window);
        QApplication::setPalette(before);
        QCOMPARE(background, window);
        QVERIFY2(kvx::contrastRatio(text, background) >= 4.5, qPrintable(text.name()));
        QVERIFY2(text.hslHue() == 180, qPrintable(text.name() + " is no teal"));
    }

    void everyPageFitsItsControls() {
        // Nothing the layout places on a tab may fall outside what the tab shows.
        for (int i = 0; i < Form1->PageControl1->count(); ++i) {
            QWidget* page = Form1->PageControl1->widget(i);
            for (QWidget* child : page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                QVERIFY2(page->rect().contains(child->geometry()),
                         qPrintable(child->objectName() + " outside its page"));
        }
    }

    void popupMenu() {
        const auto actions = Form1->PopupMenu1->actions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions[0]->objectName(), QStringLiteral("Quitter1"));
        QCOMPARE(actions[0]->text(), QStringLiteral("Restore"));
        QCOMPARE(actions[1]->objectName(), QStringLiteral("Aide1"));
        QCOMPARE(actions[1]->text(), QStringLiteral("Help"));
        QCOMPARE(actions[2]->objectName(), QStringLiteral("Apropos1"));
        QCOMPARE(actions[2]->text(), QStringLiteral("Exit"));
    }

    void resultDialog() {
        QVERIFY(Form2 && !Form2->isVisible());
        QCOMPARE(Form2->windowTitle(), QStringLiteral(" Index"));
        QCOMPARE(Form2->size(), QSize(250, 119));
        checkRows(Form2, kForm2Rows);
        QVERIFY(Form2->Label1->wordWrap());
    }

    void waitWindow() {
        QVERIFY(Form4 && !Form4->isVisible());
        QCOMPARE(Form4->windowTitle(), QStringLiteral(" Korvenix 3.1"));
        QCOMPARE(Form4->size(), QSize(287, 65));
        QVERIFY(Form4->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(Form4->windowFlags() & Qt::WindowCloseButtonHint));
        checkRows(Form4, kForm4Rows);
    }

    void flashFormClosesItselfWhenShownModally() {
        QVERIFY(Form3 && !Form3->isVisible());
        QCOMPARE(Form3->windowTitle(), QStringLiteral("Suppression du fichier."));
        QCOMPARE(Form3->size(), QSize(268, 7));
        QVERIFY(Form3->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(Form3->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(Form3->findChildren<QWidget*>().isEmpty());
        struct ShowSeen : QObject {
            bool seen = false;
            bool eventFilter(QObject*, QEvent* e) override {
                seen |= e->type() == QEvent::Show;
                return false;
            }
        } shows;
        Form3->installEventFilter(&shows);
        Form3->exec(); // returns by itself
        QVERIFY(shows.seen); // it did come up
        QVERIFY(!Form3->isVisible());
        QCOMPARE(Form3->pos(), QPoint(1, 0));
    }

    void compactModeTransitions() {
        QVERIFY(!Form1->compactMode());
        // A double click in the margin beside the page control.
        dblClickOn(Form1, QPoint(1, 200));
        QVERIFY(Form1->compactMode());
        QCOMPARE(Form1->height(), 21);
        QVERIFY(!Form1->PageControl1->isVisible());
        QVERIFY(Form1->Label6->isVisible());
        const QRect l6 = Form1->Label6->geometry();
        QCOMPARE(l6.topLeft(), QPoint(2, 3));
        QVERIFY(l6.width() >= 150 && l6.width() >= Form1->Label6->sizeHint().width());
        QCOMPARE(l6.height(), 15);
        QCOMPARE(Form1->width(), 367);

        // Beside the label: back to the full window.
        dblClickOn(Form1, QPoint(300, 10));
        QVERIFY(!Form1->compactMode());
        QCOMPARE(Form1->height(), 399);
        QVERIFY(Form1->PageControl1->isVisible());
        QVERIFY(!Form1->Label6->isVisible());

        // Through the label: the same whole client area.
        dblClickOn(Form1, QPoint(1, 200));
        QVERIFY(Form1->compactMode());
        dblClickOn(Form1->Label6, QPoint(5, 5));
        QVERIFY(!Form1->compactMode());
        QCOMPARE(Form1->height(), 399);
        QVERIFY(Form1->PageControl1->isVisible());
        QVERIFY(!Form1->Label6->isVisible());
    }

    void doubleClickOnAControlIsNotTheWindows() {
        Form1->PageControl1->setCurrentIndex(2);
        dblClickOn(Form1->Label13, QPoint(3, 3));
        dblClickOn(Form1->GroupBox3, QPoint(200, 8));
        QVERIFY(!Form1->compactMode());
        QCOMPARE(Form1->height(), 399);
    }

    void startUpWithoutArgumentShowsTheWindow() {
        QVERIFY(Form1->isVisible());
        QVERIFY(!Form1->isMinimized());
        QVERIFY(!Form1->startsMinimised());
        QCOMPARE(Form1->PageControl1->currentWidget(), Form1->TabSheet1);
    }

    void startUpWithAnyArgumentStartsMinimised_data() {
        QTest::addColumn<QString>("argument");
        QTest::newRow("-w") << "-w";
        QTest::newRow("anything") << "anything else";
    }
    void startUpWithAnyArgumentStartsMinimised() {
        QFETCH(QString, argument);
        kvx::destroyForms();
        kvx::createForms({argument});
        QVERIFY(Form1->startsMinimised());
        QVERIFY(Form1->isMinimized());
        QCOMPARE(Form1->PageControl1->currentWidget(), Form1->TabSheet1);
    }

    void alwaysOnTopIsKeptForTheRun() {
        Form1->CheckBox2->setChecked(true);
        Form1->FormActivate();
        QVERIFY(Form1->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(Form1->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
        QVERIFY(Form1->isVisible());
        Form1->CheckBox2->setChecked(false);
        Form1->FormActivate();
        QVERIFY(Form1->windowFlags() & Qt::WindowStaysOnTopHint);
    }

    void notOnTopWhenUnchecked() {
        Form1->CheckBox2->setChecked(false);
        Form1->FormActivate();
        QVERIFY(!(Form1->windowFlags() & Qt::WindowStaysOnTopHint));
    }

    void handlerErrorIsReportedAndTheProgramGoesOn() {
        bool after = false;
        kvx::runHandler([&] {
            throw std::runtime_error("disk on fire");
            after = true;
        });
        QVERIFY(!after);
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("Erreur"));
        QCOMPARE(shown[0].text, QStringLiteral("disk on fire"));
        QCOMPARE(shown[0].buttons, int(kvx::MbOk));
    }

    void exceptionLeavingAnEventHandlerIsReported() {
        struct Thrower : QObject {
            bool event(QEvent* e) override {
                if (e->type() == QEvent::User)
                    throw std::runtime_error("from an event");
                return QObject::event(e);
            }
        } thrower;
        QEvent e(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &e);
        const auto shown = kvx::MessageSeam::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("from an event"));
    }

    void queuedAnswersComeBackInOrder() {
        kvx::MessageSeam::setNextAnswer(kvx::MbCancel);
        kvx::MessageSeam::setNextAnswer(kvx::MbOk);
        QCOMPARE(kvx::messageDlg("a", kvx::MsgKind::Warning, kvx::MbOk | kvx::MbCancel),
                 int(kvx::MbCancel));
        QCOMPARE(kvx::messageDlg("b", kvx::MsgKind::Warning, kvx::MbOk | kvx::MbCancel),
                 int(kvx::MbOk));
        // Nothing queued: auto-answered as Escape would be.
        QCOMPARE(kvx::messageDlg("c", kvx::MsgKind::Warning, kvx::MbOk | kvx::MbCancel),
                 int(kvx::MbCancel));
        QCOMPARE(kvx::MessageSeam::shown().at(0).title, QStringLiteral("Avertissement"));
    }

    void screenshots() {
        // Under Xvfb: KORVENIX_SCREENSHOTS=folder keeps a picture of every tab.
        const QString dir = qEnvironmentVariable("KORVENIX_SCREENSHOTS");
        if (dir.isEmpty())
            QSKIP("KORVENIX_SCREENSHOTS not set");
        QDir().mkpath(dir);
        for (int i = 0; i < 4; ++i) {
            Form1->PageControl1->setCurrentIndex(i);
            QVERIFY(Form1->grab().save(QStringLiteral("%1/tab%2.png").arg(dir).arg(i)));
        }
        // The same under a dark theme.
        kvx::destroyForms();
        const QPalette before = QApplication::palette();
        QApplication::setPalette(QPalette(QColor(0x35, 0x35, 0x35), QColor(0x35, 0x35, 0x35)));
        kvx::createForms({});
        for (int i = 0; i < 4; ++i) {
            Form1->PageControl1->setCurrentIndex(i);
            QVERIFY(Form1->grab().save(QStringLiteral("%1/dark-tab%2.png").arg(dir).arg(i)));
        }
        QApplication::setPalette(before);
        Form1->FormDblClick();
        QVERIFY(Form1->grab().save(dir + "/compact.png"));
        Form1->Label6DblClick();
        QVERIFY(Form1->grab().save(dir + "/restored.png"));
        Form1->FormDblClick();
        QVERIFY(Form2->grab().save(dir + "/form2.png"));
        QVERIFY(Form4->grab().save(dir + "/form4.png"));
    }

private:
    std::unique_ptr<SettingsFixture> m_settings;
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_main_window.moc"
