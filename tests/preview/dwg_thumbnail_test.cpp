// The preview widget on real files in a temporary folder, painted offscreen.

#include <QImage>
#include <QtTest>
#include <cstdio>
#include <stdexcept>

#include "preview/dwg_thumbnail.h"
#include "support/dwg_builder.h"

using namespace kvxtest;

namespace {

QImage shot(TDwgThumbnail& view) {
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The run of pixels of `colour` along row y, as (first, length); length 0 when absent.
QPair<int, int> runOnRow(const QImage& image, int y, QRgb colour) {
    int first = -1, length = 0;
    for (int x = 0; x < image.width(); ++x) {
        if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) {
            if (first < 0)
                first = x;
            ++length;
        }
    }
    return {first, length};
}

int runOnColumn(const QImage& image, int x, QRgb colour) {
    int length = 0;
    for (int y = 0; y < image.height(); ++y)
        length += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return length;
}

} // namespace

class DwgThumbnailTest : public QObject {
    Q_OBJECT

private:
    TempDir m_dir;

    QString drawing(const char* name, const Bytes& bytes) {
        return QString::fromStdString(m_dir.write(name, bytes));
    }

private slots:
    void startsEmptyAtItsSize() {
        TDwgThumbnail view;
        QCOMPARE(view.size(), QSize(252, 126));
        QCOMPARE(view.objectName(), QString("DwgThumbnail1"));
        QVERIFY(view.noMagnify());
        QVERIFY(!view.hasPicture());
    }

    void fitsCentredOnThePicturesBackground() {
        // 4:1, green around a red block in the middle.
        Image image(400, 100, 0, 160, 0);
        image.fillRect(150, 25, 100, 50, 0xFF0000);
        const QString path = drawing("wide.dwg", DwgBuilder("AC1018").bmp(makeBmp(image)).build());
        TDwgThumbnail view;
        view.setDwgFileName(path);
        QCOMPARE(view.dwgFileName(), path);
        QVERIFY(view.hasPicture());
        const QImage shown = shot(view);
        const QRgb green = qRgb(0, 160, 0), red = qRgb(255, 0, 0);
        // Fitted to 252 x 63, so the bands above and below are the picture's own green.
        QCOMPARE(shown.pixel(126, 3), green);
        QCOMPARE(shown.pixel(126, 122), green);
        QCOMPARE(shown.pixel(2, 63), green);
        const auto across = runOnRow(shown, 63, red);
        QVERIFY2(qAbs(across.second - 63) <= 2, qPrintable(QString::number(across.second)));
        QVERIFY(qAbs(across.first + across.second / 2 - 126) <= 2);
        QVERIFY(qAbs(runOnColumn(shown, 126, red) - 32) <= 2);
    }

    void noMagnifyKeepsSmallPicturesAtTheirSizeWithoutReadingAgain() {
        Image image(60, 30, 0, 200, 200);
        image.fillRect(20, 10, 20, 10, 0xFF0000);
        const QString path = drawing("small.dwg", DwgBuilder("AC1015").bmp(makeBmp(image)).build());
        TDwgThumbnail view;
        view.setDwgFileName(path);
        const QRgb red = qRgb(255, 0, 0);
        QCOMPARE(runOnRow(shot(view), 63, red).second, 20);
        QCOMPARE(runOnColumn(shot(view), 126, red), 10);

        // The file is gone: what follows can only come from the picture already read.
        QVERIFY(QFile::remove(path));
        view.setNoMagnify(false);
        QVERIFY(!view.noMagnify());
        const QImage enlarged = shot(view);
        QVERIFY(qAbs(runOnRow(enlarged, 63, red).second - 84) <= 2); // 60 x 30 grows 4.2 times
        QVERIFY(qAbs(runOnColumn(enlarged, 126, red) - 42) <= 2);
        view.setNoMagnify(true);
        QCOMPARE(runOnRow(shot(view), 63, red).second, 20);
    }

    void aLargePictureLooksTheSameWhateverNoMagnify() {
        Image image(670, 448, 33, 40, 48);
        image.fillRect(100, 200, 400, 3, 0xFFFF00);
        PngOptions o;
        o.colourType = 3;
        const QString path =
            drawing("large.dwg", DwgBuilder("AC1032").png(makePng(image, o)).build());
        TDwgThumbnail view;
        view.setDwgFileName(path);
        const QImage reduced = shot(view);
        // 670 x 448 fits as 188 x 126, centred: 32 columns of background on either side.
        QCOMPARE(reduced.pixel(20, 63), qRgb(33, 40, 48));
        // The yellow line, rows 200 to 202 of 448, is on row 56 or 57 of 126, blended.
        QVERIFY(qMax(qRed(reduced.pixel(120, 56)), qRed(reduced.pixel(120, 57))) > 100);
        QCOMPARE(reduced.pixel(120, 40), qRgb(33, 40, 48));
        QVERIFY(QFile::remove(path));
        view.setNoMagnify(false);
        QCOMPARE(shot(view), reduced);
    }

    void reducesSmoothlyByAreaAveraging() {
        // One-pixel black and white columns halve into even grey, never into stripes.
        Image image(504, 252, 255, 255, 255);
        for (std::uint32_t x = 0; x < 504; x += 2)
            image.fillRect(x, 0, 1, 252, 0x000000);
        const QString path =
            drawing("stripes.dwg", DwgBuilder("AC1032").png(makePng(image)).build());
        TDwgThumbnail view;
        view.setDwgFileName(path);
        const QImage shown = shot(view);
        for (int x = 0; x < 252; x += 7) {
            const int grey = qRed(shown.pixel(x, 63));
            QVERIFY2(grey >= 126 && grey <= 129, qPrintable(QString::number(grey)));
        }
    }

    void damagedDrawingsThrowAndClearThePicture() {
        TDwgThumbnail view;
        view.setDwgFileName(drawing("good.dwg", DwgBuilder().bmp(makeBmp(Image(8, 8))).build()));
        QVERIFY(view.hasPicture());
        Bytes broken = DwgBuilder().bmp(makeBmp(Image(8, 8))).build();
        broken[0x54] ^= 0xFF; // the sentinel
        const QStringList bad = {drawing("broken.dwg", broken),
                                 drawing("text.dwg", Bytes{'h', 'e', 'l', 'l', 'o', '!', '\n'}),
                                 m_dir.file("missing.dwg").c_str()};
        for (const QString& path : bad) {
            bool thrown = false;
            try {
                view.setDwgFileName(path);
            } catch (const std::runtime_error& e) {
                thrown = std::string(e.what()).size() > 0;
            }
            QVERIFY2(thrown, qPrintable(path));
            QVERIFY(!view.hasPicture());
        }
    }

    void aDrawingWithoutPictureGetsACentredNote() {
        TDwgThumbnail view;
        view.setDwgFileName(drawing("none.dwg", DwgBuilder("AC1032").headerData().build()));
        QVERIFY(!view.hasPicture());
        const QImage shown = shot(view);
        const QRgb window = shown.pixel(0, 0);
        QCOMPARE(shown.pixel(251, 125), window);
        // Ink only in the middle band, none near the edges.
        int middle = 0, edges = 0;
        for (int y = 0; y < 126; ++y)
            for (int x = 0; x < 252; ++x)
                if (shown.pixel(x, y) != window)
                    ++(y > 40 && y < 86 && x > 40 && x < 212 ? middle : edges);
        QVERIFY(middle > 20);
        QCOMPARE(edges, 0);
    }

    void anOldReleaseIsNotAnError() {
        TDwgThumbnail view;
        view.setDwgFileName(drawing("r11.dwg", DwgBuilder("AC1009").withoutImageSection().build()));
        QVERIFY(!view.hasPicture());
    }
};

QTEST_MAIN(DwgThumbnailTest)
#include "dwg_thumbnail_test.moc"
