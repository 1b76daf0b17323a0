// A fixed-size window given its own title bar: the client area keeps its size, the bar shows
// the title and the window's own buttons, never maximise, and its close closes.

#include "app/title_bar.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

namespace {

class Window : public QWidget {
public:
    explicit Window(Qt::WindowFlags flags) : QWidget(nullptr, flags) {}
    int doubleClicks = 0;

protected:
    void mouseDoubleClickEvent(QMouseEvent*) override { ++doubleClicks; }
};

QStringList buttonNames(const QWidget* window) {
    QStringList names;
    const QWidget* bar = window->findChild<QWidget*>("kvxTitleBar");
    for (const QAbstractButton* b : bar->findChildren<QAbstractButton*>())
        names << b->objectName();
    return names;
}

} // namespace

class TestTitleBar : public QObject {
    Q_OBJECT
private slots:
    void barReplacesTheWindowSystemsTitle_data() {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QStringList>("buttons");
        const Qt::WindowFlags fixed = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        QTest::newRow("main window")
            << int(fixed | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
            << QStringList{"kvxMinimise", "kvxClose"};
        QTest::newRow("result dialog")
            << int(fixed | Qt::WindowCloseButtonHint) << QStringList{"kvxClose"};
        QTest::newRow("wait window") << int(fixed) << QStringList{};
    }

    void barReplacesTheWindowSystemsTitle() {
        QFETCH(int, flags);
        QFETCH(QStringList, buttons);
        Window w(Qt::WindowFlags(flags) | Qt::WindowMaximizeButtonHint);
        w.setWindowTitle(" Korvenix 3.1");
        w.setFixedSize(367, 399);
        auto* control = new QPushButton("Open", &w);
        control->setGeometry(10, 20, 60, 25);
        auto* hidden = new QLabel("restore", &w);
        hidden->hide();

        kvx::addTitleBar(&w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        const QWidget* client = kvx::clientArea(&w);
        const QWidget* bar = w.findChild<QWidget*>("kvxTitleBar");
        QVERIFY(client != &w && bar);
        QCOMPARE(client->size(), QSize(367, 399));
        QCOMPARE(w.size(), QSize(367, 399 + bar->height()));
        QCOMPARE(client->geometry().top(), bar->height());
        QCOMPARE(control->parentWidget(), client);
        QCOMPARE(control->geometry(), QRect(10, 20, 60, 25));
        QVERIFY(control->isVisible());
        QVERIFY(hidden->isHidden());
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(buttonNames(&w), buttons);
        // The slot before close, where maximise usually stands, is no button.
        if (const QWidget* close = bar->findChild<QWidget*>("kvxClose"))
            QVERIFY(!qobject_cast<QAbstractButton*>(
                bar->childAt(close->x() - close->width() / 2, bar->height() / 2)));

        // The title follows the window's.
        const QLabel* title = bar->findChild<QLabel*>("kvxTitle");
        QCOMPARE(title->text(), QString("Korvenix 3.1"));
        w.setWindowTitle("Index");
        QCOMPARE(title->text(), QString("Index"));

        // A double click on the bar does nothing; the client area's empty part reaches the
        // window as before.
        QTest::mouseDClick(const_cast<QWidget*>(bar), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(w.doubleClicks, 0);
        QTest::mouseDClick(const_cast<QWidget*>(client), Qt::LeftButton, {}, QPoint(200, 200));
        QCOMPARE(w.doubleClicks, 1);

        // A client height set later (compact mode and back) stays below the bar.
        kvx::setFixedClientHeight(&w, 21);
        QTRY_COMPARE(client->height(), 21);
        kvx::setFixedClientHeight(&w, 399);
        QTRY_COMPARE(client->size(), QSize(367, 399));
        QCOMPARE(w.height(), 399 + bar->height());
    }

    // A message box keeps its layout: the bar stands above it, and nothing lies under the bar.
    void messageBoxLaysItsControlsOutBelowTheBar() {
        QMessageBox box(QMessageBox::Warning, "Korvenix 3.1", "The report could not be written.",
                        QMessageBox::Ok);
        kvx::addTitleBarAboveLayout(&box);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QWidget* bar = box.findChild<QWidget*>("kvxTitleBar");
        QVERIFY(bar);
        QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(bar->geometry(), QRect(0, 0, box.width(), bar->height()));
        QCOMPARE(buttonNames(&box), QStringList{"kvxClose"});
        for (const QWidget* control : box.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (control != bar && control->isVisible() && control->objectName() != "kvxFrame")
                QVERIFY2(control->geometry().top() >= bar->height(),
                         qPrintable(control->metaObject()->className()));
        QTest::mouseClick(box.findChild<QAbstractButton*>("kvxClose"), Qt::LeftButton);
        QTRY_VERIFY(!box.isVisible());
    }

    void closeClosesTheWindow() {
        Window w(Qt::Window | Qt::WindowCloseButtonHint);
        w.setFixedSize(250, 119);
        kvx::addTitleBar(&w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* close = w.findChild<QAbstractButton*>("kvxClose");
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!w.isVisible());
    }
};

QTEST_MAIN(TestTitleBar)
#include "tst_title_bar.moc"
