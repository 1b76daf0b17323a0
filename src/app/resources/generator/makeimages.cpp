// Draws every image of the main window, the result dialog and the wait window, and writes them
// as PNG files into the resources folder. The PNGs are committed; this program only has to be
// re-run after changing a drawing here. It is not part of the regular build.
//
// Re-run (from the repository root, build in /tmp, needs qt6-base-dev):
//   g++ -std=c++17 -fPIC src/app/resources/generator/makeimages.cpp -o /tmp/makeimages
//       $(pkg-config --cflags --libs Qt6Gui)      (one command line)
//   QT_QPA_PLATFORM=offscreen /tmp/makeimages src/app/resources
//
// Files written (relative to the folder given on the command line):
//   korvenix31.png                      program icon, 256 px, for the desktop entry
//   icons/icon-16.png ... icon-256.png  program icon at 16, 32, 48, 128 and 256 px
//   glyphs/open.png                     open the drawing in the CAD program
//   glyphs/erase.png                    delete the drawing
//   glyphs/report.png                   create the Html report
//   glyphs/slide.png, glyphs/stop.png   start / stop the slideshow
//   glyphs/build-existing.png (+ -disabled)  build the index from existing files
//   glyphs/build-new.png (+ -disabled)       build the index from new files
//   glyphs/show-index.png               show the last created index
//   glyphs/help.png                     show the help file
//   glyphs/web.png                      124 x 44 web-site banner
//   glyphs/see-index.png                result dialog: see the index file
//   glyphs/close.png                    result dialog: close
//   glyphs/wait.png                     icon of the waiting window
//   options/image1.png ... image6.png, options/image8.png   40 x 40 Options icons
// The font used for text is DejaVu Sans (fonts-dejavu-core).

#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// One small flat palette for everything, so the images look like a set.
const QColor kInk(0x26, 0x34, 0x45);
const QColor kBlue(0x2d, 0x6c, 0xb5);
const QColor kBlueDark(0x1d, 0x4a, 0x80);
const QColor kBlueLight(0x9c, 0xc8, 0xef);
const QColor kBluePale(0xe6, 0xf1, 0xfb);
const QColor kPaper(0xfb, 0xfb, 0xf6);
const QColor kRed(0xcf, 0x3f, 0x35);
const QColor kRedDark(0x9a, 0x2a, 0x22);
const QColor kGreen(0x3a, 0x9a, 0x4a);
const QColor kGreenDark(0x25, 0x6e, 0x32);
const QColor kAmber(0xf0, 0xb8, 0x4a);
const QColor kAmberDark(0xc4, 0x84, 0x1c);
const QColor kGrey(0x8a, 0x94, 0x9e);
const QColor kGreyLight(0xdd, 0xe2, 0xe8);
const QColor kSteel(0x5b, 0x68, 0x75);
const QColor kSteelLight(0x9a, 0xa6, 0xb2);

QString gOutDir;
int gFailures = 0;

QImage canvas(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void save(const QImage& img, const QString& rel) {
    const QString path = gOutDir + QLatin1Char('/') + rel;
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    if (!img.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++gFailures;
    }
}

// Runs a drawing on a fresh transparent canvas with antialiasing on.
QImage draw(int w, int h, const std::function<void(QPainter&)>& fn) {
    QImage img = canvas(w, h);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    fn(p);
    p.end();
    return img;
}

// Greyed, faded copy used for the disabled state of two-state buttons.
QImage disabledLook(const QImage& src) {
    QImage out = src.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb c = line[x];
            const int grey = qGray(c);
            const int light = 110 + grey * 120 / 255;
            line[x] = qRgba(light, light, light, qAlpha(c) * 55 / 100);
        }
    }
    return out;
}

QPen pen(const QColor& c, qreal w = 1.0) {
    QPen p(c, w);
    p.setJoinStyle(Qt::RoundJoin);
    p.setCapStyle(Qt::RoundCap);
    return p;
}

// A sheet of paper with a folded top-right corner; coordinates on half pixels for crisp edges.
void sheet(QPainter& p, const QRectF& r, qreal fold, const QColor& fill = kPaper,
           const QColor& line = kInk, qreal w = 1.0) {
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(pen(line, w));
    p.setBrush(fill);
    p.drawPath(path);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(kGreyLight);
    p.drawPath(corner);
}

void textLines(QPainter& p, qreal x, qreal y, qreal w, int count, qreal step,
               const QColor& c = kGrey) {
    p.setPen(QPen(c, 1.0, Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < count; ++i) {
        const qreal len = (i % 3 == 2) ? w * 0.6 : w;
        p.drawLine(QPointF(x, y + i * step), QPointF(x + len, y + i * step));
    }
}

// Round badge with a white sign, placed over the bottom-right corner of a glyph.
void badge(QPainter& p, const QPointF& c, qreal r, const QColor& fill, const QColor& edge) {
    p.setPen(pen(edge, 1.0));
    p.setBrush(fill);
    p.drawEllipse(c, r, r);
}

// ---------------------------------------------------------------- program icon

// The program icon is drawn in a 256 unit square. Smaller sizes leave out the fine detail and
// keep strokes at least one pixel wide so the sheet and the compass stay readable at 16 px.
QImage appIcon(int size) {
    return draw(size, size, [size](QPainter& p) {
        const qreal s = size / 256.0;
        p.scale(s, s);
        auto units = [s](qreal u, qreal minPx) { return std::max(u, minPx / s); };
        const bool fine = size >= 48;
        const bool medium = size >= 32;

        // Drawing sheet with a shadow, blue frame and a title block.
        const QRectF page(14, 44, 190, 198);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 50));
        p.drawRoundedRect(page.translated(units(6, 1), units(6, 1)), 6, 6);
        p.setBrush(kPaper);
        p.setPen(pen(kBlueDark, units(6, 1)));
        p.drawRoundedRect(page, 6, 6);

        if (medium) {
            const QRectF frame = page.adjusted(16, 16, -16, -16);
            if (fine) {
                p.setPen(pen(kBlue, units(4, 1)));
                p.setBrush(Qt::NoBrush);
                p.drawRect(frame);
                const QRectF title(frame.right() - 70, frame.bottom() - 28, 70, 28);
                p.setBrush(kBluePale);
                p.drawRect(title);
                p.drawLine(QPointF(title.left() + 28, title.top()),
                           QPointF(title.left() + 28, title.bottom()));
                p.drawLine(QPointF(title.left() + 28, title.center().y()),
                           QPointF(title.right(), title.center().y()));
            }
            // A part outline: a bored plate with centre lines.
            const QPointF hole(78, 122);
            p.setPen(pen(kBlue, units(5, 1)));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(hole, 30, 30);
            if (fine) {
                QPen centre(kRed, units(3, 1));
                centre.setDashPattern({6, 3, 1.5, 3});
                p.setPen(centre);
                p.drawLine(QPointF(hole.x() - 44, hole.y()), QPointF(hole.x() + 44, hole.y()));
                p.drawLine(QPointF(hole.x(), hole.y() - 44), QPointF(hole.x(), hole.y() + 44));
            }
        }

        // Compass: needle leg on the sheet, pencil leg drawing an arc.
        const QPointF hinge(166, 40);
        const QPointF needle(110, 200);
        const QPointF pencil(238, 196);
        const qreal radius = std::hypot(pencil.x() - needle.x(), pencil.y() - needle.y());
        if (medium) {
            p.setPen(pen(kRed, units(7, 1.5)));
            p.setBrush(Qt::NoBrush);
            const QRectF circle(needle.x() - radius, needle.y() - radius, 2 * radius, 2 * radius);
            p.drawArc(circle, 48 * 16, 60 * 16);
        }

        auto leg = [&](const QPointF& from, const QPointF& to, bool isPencil) {
            const qreal dx = to.x() - from.x();
            const qreal dy = to.y() - from.y();
            const qreal len = std::hypot(dx, dy);
            const qreal ux = dx / len;
            const qreal uy = dy / len;
            const qreal tipLen = isPencil ? 30 : 26;
            const QPointF tipStart(to.x() - ux * tipLen, to.y() - uy * tipLen);
            // Tip first so the leg covers its upper end.
            if (isPencil) {
                p.setPen(pen(kAmberDark, units(12, 1.5)));
                p.drawLine(tipStart, QPointF(to.x() - ux * 10, to.y() - uy * 10));
                p.setPen(pen(kInk, units(6, 1)));
                p.drawLine(QPointF(to.x() - ux * 12, to.y() - uy * 12), to);
            } else {
                p.setPen(pen(kInk, units(5, 1)));
                p.drawLine(tipStart, to);
            }
            p.setPen(QPen(kInk, units(26, 2.6), Qt::SolidLine, Qt::RoundCap));
            p.drawLine(from, tipStart);
            p.setPen(QPen(kSteelLight, units(16, 1.1), Qt::SolidLine, Qt::RoundCap));
            p.drawLine(from, tipStart);
            if (fine) {
                p.setPen(
                    QPen(QColor(255, 255, 255, 150), units(4, 1), Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(from.x() + ux * 20 - uy * 3, from.y() + uy * 20 + ux * 3),
                           QPointF(tipStart.x() - ux * 6 - uy * 3, tipStart.y() - uy * 6 + ux * 3));
            }
        };
        leg(hinge, needle, false);
        leg(hinge, pencil, true);

        // Handle and hinge.
        p.setPen(pen(kInk, units(5, 1)));
        p.setBrush(kRed);
        const qreal grip = units(10, 1.5);
        p.drawRoundedRect(QRectF(hinge.x() - grip, 4, 2 * grip, 30), 5, 5);
        p.setBrush(kSteel);
        p.drawEllipse(hinge, units(19, 2.2), units(19, 2.2));
        if (fine) {
            p.setBrush(kSteelLight);
            p.setPen(Qt::NoPen);
            p.drawEllipse(hinge, 7, 7);
        }
    });
}

// ---------------------------------------------------------------- 20 px glyphs

QImage glyphOpen() {
    return draw(20, 20, [](QPainter& p) {
        // Back of the folder with its tab.
        QPainterPath back;
        back.moveTo(1.5, 17.5);
        back.lineTo(1.5, 3.5);
        back.lineTo(7.5, 3.5);
        back.lineTo(9.5, 5.5);
        back.lineTo(16.5, 5.5);
        back.lineTo(16.5, 17.5);
        back.closeSubpath();
        p.setPen(pen(kAmberDark));
        p.setBrush(kAmberDark.lighter(125));
        p.drawPath(back);
        // The drawing sticking out of it.
        p.setPen(pen(kInk));
        p.setBrush(kPaper);
        p.drawRect(QRectF(4.5, 1.5, 11, 11));
        p.setPen(pen(kBlue));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8.5, 6.5), 2.5, 2.5);
        p.drawLine(QPointF(11.5, 4.5), QPointF(13.5, 9.5));
        // Front flap.
        QPolygonF flap;
        flap << QPointF(1.5, 17.5) << QPointF(4.5, 9.5) << QPointF(19.0, 9.5)
             << QPointF(16.5, 17.5);
        p.setPen(pen(kAmberDark));
        p.setBrush(kAmber);
        p.drawPolygon(flap);
    });
}

QImage glyphErase() {
    return draw(20, 20, [](QPainter& p) {
        p.setPen(pen(kInk));
        p.setBrush(kGreyLight);
        QPolygonF body;
        body << QPointF(4.5, 6.5) << QPointF(15.5, 6.5) << QPointF(14.5, 18.5)
             << QPointF(5.5, 18.5);
        p.drawPolygon(body);
        p.setPen(QPen(kGrey, 1.0));
        for (qreal x : {8.0, 10.0, 12.0})
            p.drawLine(QPointF(x, 9), QPointF(x, 16.5));
        p.setPen(pen(kInk));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(7.5, 2.5, 5, 2));
        p.setBrush(kRed);
        p.drawRect(QRectF(2.5, 4.5, 15, 2));
    });
}

QImage glyphReport() {
    return draw(20, 20, [](QPainter& p) {
        sheet(p, QRectF(3.5, 1.5, 13, 17), 4);
        // Picture of the drawing at the top of the page, then text.
        p.setPen(pen(kBlue));
        p.setBrush(kBlueLight);
        p.drawRect(QRectF(5.5, 4.5, 6, 5));
        textLines(p, 5.5, 11.5, 9, 3, 2);
    });
}

QImage glyphSlide() {
    return draw(20, 20, [](QPainter& p) {
        QPolygonF tri;
        tri << QPointF(5.5, 2.5) << QPointF(17.0, 10.0) << QPointF(5.5, 17.5);
        p.setPen(pen(kGreenDark));
        p.setBrush(kGreen);
        p.drawPolygon(tri);
    });
}

QImage glyphStop() {
    return draw(20, 20, [](QPainter& p) {
        p.setPen(pen(kRedDark));
        p.setBrush(kRed);
        p.drawRoundedRect(QRectF(3.5, 3.5, 13, 13), 2, 2);
    });
}

QImage glyphHelp() {
    return draw(20, 20, [](QPainter& p) {
        p.setPen(pen(kBlueDark));
        p.setBrush(kBlue);
        p.drawEllipse(QPointF(10, 10), 8.5, 8.5);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setBold(true);
        f.setPixelSize(13);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, 20, 20.5), Qt::AlignCenter, QStringLiteral("?"));
    });
}

QImage glyphClose() {
    return draw(20, 20, [](QPainter& p) {
        p.setPen(pen(kRedDark));
        p.setBrush(kRed);
        p.drawEllipse(QPointF(10, 10), 8.5, 8.5);
        p.setPen(pen(Qt::white, 2.2));
        p.drawLine(QPointF(6.5, 6.5), QPointF(13.5, 13.5));
        p.drawLine(QPointF(13.5, 6.5), QPointF(6.5, 13.5));
    });
}

// An index page: thumbnails of drawings in a grid.
void thumbGrid(QPainter& p, qreal x, qreal y, qreal cell, qreal gap) {
    p.setPen(pen(kBlue));
    p.setBrush(kBlueLight);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            p.drawRect(QRectF(x + c * (cell + gap), y + r * (cell + gap), cell, cell));
}

QImage glyphSeeIndex() {
    return draw(20, 20, [](QPainter& p) {
        sheet(p, QRectF(1.5, 1.5, 13, 16), 4);
        thumbGrid(p, 3.5, 6.5, 3, 2);
        textLines(p, 3.5, 14.5, 8, 1, 2);
        // Magnifier.
        p.setPen(pen(kInk, 2.4));
        p.drawLine(QPointF(15.5, 15.5), QPointF(18.3, 18.3));
        p.setPen(pen(kInk, 1.3));
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawEllipse(QPointF(13, 13), 3.6, 3.6);
    });
}

QImage glyphWait() {
    return draw(32, 32, [](QPainter& p) {
        // Hourglass: wooden ends, glass bulbs, sand running down.
        QPainterPath glass;
        glass.moveTo(9, 6);
        glass.lineTo(23, 6);
        glass.cubicTo(23, 12, 17.5, 14, 17.5, 16);
        glass.cubicTo(17.5, 18, 23, 20, 23, 26);
        glass.lineTo(9, 26);
        glass.cubicTo(9, 20, 14.5, 18, 14.5, 16);
        glass.cubicTo(14.5, 14, 9, 12, 9, 6);
        p.setPen(pen(kInk, 1.2));
        p.setBrush(kBluePale);
        p.drawPath(glass);
        QPainterPath top;
        top.moveTo(11.5, 10.5);
        top.lineTo(20.5, 10.5);
        top.cubicTo(19.5, 13, 16.8, 14, 16, 15.5);
        top.cubicTo(15.2, 14, 12.5, 13, 11.5, 10.5);
        QPainterPath bottom;
        bottom.moveTo(10, 25.2);
        bottom.cubicTo(11, 21.5, 14, 21, 16, 20.5);
        bottom.cubicTo(18, 21, 21, 21.5, 22, 25.2);
        bottom.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(kAmber);
        p.drawPath(top);
        p.drawPath(bottom);
        p.setPen(QPen(kAmberDark, 1.0));
        p.drawLine(QPointF(16, 15.5), QPointF(16, 21));
        p.setPen(pen(kInk, 1.2));
        p.setBrush(kAmberDark);
        p.drawRoundedRect(QRectF(6.5, 2.5, 19, 4), 1.5, 1.5);
        p.drawRoundedRect(QRectF(6.5, 25.5, 19, 4), 1.5, 1.5);
    });
}

// ---------------------------------------------------------------- 24 px index glyphs

void sheetStack(QPainter& p) {
    sheet(p, QRectF(7.5, 1.5, 12, 15), 3.5);
    sheet(p, QRectF(3.5, 4.5, 12, 16), 3.5);
    p.setPen(pen(kBlue));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8.5, 11), 2.5, 2.5);
    textLines(p, 5.5, 16.5, 7, 2, 2);
}

QImage glyphBuildExisting() {
    return draw(24, 24, [](QPainter& p) {
        sheetStack(p);
        // Round arrow: files reused.
        const QPointF c(17.5, 17.5);
        badge(p, c, 6, kBlue, kBlueDark);
        p.setPen(pen(Qt::white, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(c.x() - 3.2, c.y() - 3.2, 6.4, 6.4), 100 * 16, 260 * 16);
        QPolygonF head;
        head << QPointF(c.x() - 0.2, c.y() - 5.4) << QPointF(c.x() + 2.6, c.y() - 3.2)
             << QPointF(c.x() - 0.2, c.y() - 1.0);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPolygon(head);
    });
}

QImage glyphBuildNew() {
    return draw(24, 24, [](QPainter& p) {
        sheetStack(p);
        const QPointF c(17.5, 17.5);
        badge(p, c, 6, kGreen, kGreenDark);
        p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(c.x() - 3.5, c.y()), QPointF(c.x() + 3.5, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - 3.5), QPointF(c.x(), c.y() + 3.5));
    });
}

QImage glyphShowIndex() {
    return draw(24, 24, [](QPainter& p) {
        // Browser window showing the index page.
        p.setPen(pen(kInk));
        p.setBrush(kPaper);
        p.drawRoundedRect(QRectF(1.5, 2.5, 21, 19), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawRect(QRectF(2, 3, 20, 4));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(4.5, 5), 1, 1);
        p.drawRect(QRectF(7, 4.2, 12, 1.6));
        thumbGrid(p, 4.5, 9.5, 4, 2);
        textLines(p, 15.5, 10.5, 5, 5, 2);
    });
}

// ---------------------------------------------------------------- web banner

void globe(QPainter& p, const QPointF& c, qreal r) {
    p.setPen(pen(kBlueDark, 1.4));
    p.setBrush(kBlue);
    p.drawEllipse(c, r, r);
    // Land masses, clipped to the globe.
    p.save();
    QPainterPath clip;
    clip.addEllipse(c, r - 0.7, r - 0.7);
    p.setClipPath(clip);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    QPainterPath land;
    land.moveTo(c.x() - r * 0.7, c.y() - r * 0.55);
    land.cubicTo(c.x() - r * 0.2, c.y() - r * 0.9, c.x() + r * 0.1, c.y() - r * 0.5,
                 c.x() - r * 0.05, c.y() - r * 0.1);
    land.cubicTo(c.x() - r * 0.2, c.y() + r * 0.3, c.x() - r * 0.1, c.y() + r * 0.7,
                 c.x() - r * 0.35, c.y() + r * 0.9);
    land.cubicTo(c.x() - r * 0.7, c.y() + r * 0.5, c.x() - r * 1.0, c.y() - r * 0.1,
                 c.x() - r * 0.7, c.y() - r * 0.55);
    p.drawPath(land);
    QPainterPath land2;
    land2.moveTo(c.x() + r * 0.3, c.y() - r * 0.75);
    land2.cubicTo(c.x() + r * 0.8, c.y() - r * 0.8, c.x() + r * 1.0, c.y() - r * 0.2,
                  c.x() + r * 0.7, c.y() + r * 0.2);
    land2.cubicTo(c.x() + r * 0.5, c.y() + r * 0.5, c.x() + r * 0.2, c.y(), c.x() + r * 0.3,
                  c.y() - r * 0.75);
    p.drawPath(land2);
    // Meridians and parallels.
    p.setPen(QPen(QColor(255, 255, 255, 140), 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r * 0.45, r);
    p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    p.drawLine(QPointF(c.x() - r * 0.87, c.y() - r * 0.5),
               QPointF(c.x() + r * 0.87, c.y() - r * 0.5));
    p.drawLine(QPointF(c.x() - r * 0.87, c.y() + r * 0.5),
               QPointF(c.x() + r * 0.87, c.y() + r * 0.5));
    p.restore();
}

QImage glyphWeb() {
    return draw(124, 44, [](QPainter& p) {
        p.setPen(pen(kBlue, 1.0));
        p.setBrush(kBluePale);
        p.drawRoundedRect(QRectF(0.5, 0.5, 123, 43), 6, 6);
        globe(p, QPointF(21, 22), 15);
        // Largest size at which each line fits beside the globe.
        const QRectF area(40, 4, 80, 36);
        auto fitted = [&p, &area](const QString& text, bool bold, int from) {
            QFont f(QStringLiteral("DejaVu Sans Condensed"));
            f.setBold(bold);
            for (int px = from; px > 8; --px) {
                f.setPixelSize(px);
                if (QFontMetricsF(f).horizontalAdvance(text) <= area.width())
                    break;
            }
            p.setFont(f);
        };
        const QString name = QStringLiteral("Korvenix 3.1");
        fitted(name, true, 14);
        p.setPen(kInk);
        p.drawText(QRectF(area.left(), area.top(), area.width(), 18), Qt::AlignCenter, name);
        const QString web = QStringLiteral("on the web");
        fitted(web, false, 13);
        p.setPen(kBlueDark);
        p.drawText(QRectF(area.left(), area.top() + 18, area.width(), 17), Qt::AlignCenter, web);
    });
}

// ---------------------------------------------------------------- 40 px Options icons

QImage optClock() {
    return draw(40, 40, [](QPainter& p) {
        const QPointF c(20, 20);
        p.setPen(pen(kBlueDark, 2.0));
        p.setBrush(kBlue);
        p.drawEllipse(c, 18, 18);
        p.setPen(pen(kInk, 1.0));
        p.setBrush(kPaper);
        p.drawEllipse(c, 14.5, 14.5);
        for (int i = 0; i < 12; ++i) {
            const qreal a = i * M_PI / 6;
            const qreal inner = (i % 3 == 0) ? 10.5 : 12.0;
            p.setPen(pen(kInk, (i % 3 == 0) ? 1.6 : 1.0));
            p.drawLine(QPointF(c.x() + inner * std::sin(a), c.y() - inner * std::cos(a)),
                       QPointF(c.x() + 13.2 * std::sin(a), c.y() - 13.2 * std::cos(a)));
        }
        // Ten past ten, with a red second hand.
        p.setPen(pen(kInk, 2.2));
        p.drawLine(c, QPointF(c.x() - 6.5, c.y() - 4));
        p.setPen(pen(kInk, 1.6));
        p.drawLine(c, QPointF(c.x() + 7, c.y() - 8.5));
        p.setPen(pen(kRed, 1.0));
        p.drawLine(QPointF(c.x() - 3, c.y() - 3), QPointF(c.x() + 8, c.y() + 8));
        p.setBrush(kRed);
        p.drawEllipse(c, 1.6, 1.6);
    });
}

QImage optCadApp() {
    return draw(40, 40, [](QPainter& p) {
        // Monitor with a drawing on screen.
        p.setPen(pen(kInk, 1.0));
        p.setBrush(kGreyLight);
        QPolygonF foot;
        foot << QPointF(16.5, 30.5) << QPointF(23.5, 30.5) << QPointF(25.5, 35.5)
             << QPointF(14.5, 35.5);
        p.drawPolygon(foot);
        p.drawRoundedRect(QRectF(10.5, 35.5, 19, 2.5), 1, 1);
        p.setBrush(kSteel);
        p.drawRoundedRect(QRectF(1.5, 3.5, 37, 27), 2.5, 2.5);
        const QRectF screen(4.5, 6.5, 31, 21);
        p.setBrush(QColor(0x1f, 0x3f, 0x66));
        p.setPen(Qt::NoPen);
        p.drawRect(screen);
        // A plate with a hole and a dimension line.
        p.setPen(pen(QColor(0xf2, 0xf2, 0xf2), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(8.5, 10.5, 16, 11));
        p.setPen(pen(kBlueLight, 1.0));
        p.drawEllipse(QPointF(16.5, 16), 3.5, 3.5);
        p.setPen(pen(kAmber, 1.0));
        p.drawLine(QPointF(8.5, 24.5), QPointF(24.5, 24.5));
        p.drawLine(QPointF(8.5, 23), QPointF(8.5, 26));
        p.drawLine(QPointF(24.5, 23), QPointF(24.5, 26));
        // Cross-hair cursor.
        p.setPen(pen(kRed, 1.0));
        p.drawLine(QPointF(30.5, 9.5), QPointF(30.5, 17.5));
        p.drawLine(QPointF(26.5, 13.5), QPointF(34.5, 13.5));
    });
}

QImage optBin() {
    return draw(40, 40, [](QPainter& p) {
        p.setPen(pen(kInk, 1.4));
        p.setBrush(kGreyLight);
        QPolygonF body;
        body << QPointF(8.5, 11.5) << QPointF(31.5, 11.5) << QPointF(29.0, 37.5)
             << QPointF(11.0, 37.5);
        p.drawPolygon(body);
        p.setPen(pen(kGrey, 1.6));
        for (qreal x : {15.0, 20.0, 25.0})
            p.drawLine(QPointF(x, 16), QPointF(x + (x - 20) * 0.1, 33));
        // A crumpled sheet on its way in.
        p.setPen(pen(kInk, 1.0));
        p.setBrush(kPaper);
        QPolygonF paper;
        paper << QPointF(20, 1.5) << QPointF(27, 3) << QPointF(29.5, 7.5) << QPointF(25, 10)
              << QPointF(18.5, 9) << QPointF(17, 4.5);
        p.drawPolygon(paper);
        p.setPen(pen(kBlue, 1.0));
        p.drawLine(QPointF(20, 4.5), QPointF(26, 7));
        p.setPen(pen(kInk, 1.4));
        p.setBrush(kRed);
        p.drawRoundedRect(QRectF(5.5, 8.5, 29, 4), 1.5, 1.5);
    });
}

QImage optWindowOnTop() {
    return draw(40, 40, [](QPainter& p) {
        auto window = [&p](const QRectF& r, const QColor& bar) {
            p.setPen(pen(kInk, 1.0));
            p.setBrush(kPaper);
            p.drawRoundedRect(r, 1.5, 1.5);
            p.setPen(Qt::NoPen);
            p.setBrush(bar);
            p.drawRect(QRectF(r.left() + 0.5, r.top() + 0.5, r.width() - 1, 5));
        };
        window(QRectF(1.5, 3.5, 24, 19), kGrey);
        textLines(p, 4.5, 12.5, 12, 3, 3, kGreyLight);
        window(QRectF(11.5, 13.5, 26, 22), kBlue);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(32, 15, 3, 2));
        textLines(p, 14.5, 23.5, 18, 4, 3);
        // Push pin holding it on top.
        p.save();
        p.translate(30, 10);
        p.rotate(35);
        p.setPen(pen(kInk, 1.3));
        p.drawLine(QPointF(0, 4), QPointF(0, 11));
        p.setPen(pen(kRedDark, 1.0));
        p.setBrush(kRed);
        p.drawRoundedRect(QRectF(-2.5, -4, 5, 6), 1, 1);
        p.drawRoundedRect(QRectF(-5, 2, 10, 2.5), 1, 1);
        p.drawRoundedRect(QRectF(-4.5, -6.5, 9, 2.5), 1, 1);
        p.restore();
    });
}

QImage optPower() {
    return draw(40, 40, [](QPainter& p) {
        const QPointF c(20, 20);
        p.setPen(pen(kGreenDark, 1.6));
        p.setBrush(kGreen);
        p.drawEllipse(c, 18, 18);
        p.setPen(pen(Qt::white, 3.2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(c.x() - 10, c.y() - 9, 20, 20), 125 * 16, 290 * 16);
        p.drawLine(QPointF(c.x(), c.y() - 12), QPointF(c.x(), c.y() - 1));
    });
}

QImage optJpgHtml() {
    return draw(40, 40, [](QPainter& p) {
        // Html page behind, picture in front.
        sheet(p, QRectF(14.5, 1.5, 22, 28), 6);
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setBold(true);
        f.setPixelSize(9);
        p.setFont(f);
        p.setPen(kBlue);
        p.drawText(QRectF(16, 7, 17, 10), Qt::AlignCenter, QStringLiteral("</>"));
        textLines(p, 24.5, 19.5, 9, 3, 3);

        const QRectF photo(2.5, 16.5, 25, 21);
        p.setPen(pen(kInk, 1.0));
        p.setBrush(Qt::white);
        p.drawRect(photo);
        const QRectF inside = photo.adjusted(2.5, 2.5, -2.5, -2.5);
        p.setPen(Qt::NoPen);
        p.setBrush(kBlueLight);
        p.drawRect(inside);
        p.save();
        p.setClipRect(inside);
        p.setBrush(kAmber);
        p.drawEllipse(QPointF(19.5, 23), 2.5, 2.5);
        QPolygonF hills;
        hills << QPointF(inside.left(), inside.bottom()) << QPointF(10, 24) << QPointF(15, 29)
              << QPointF(18, 27) << QPointF(inside.right(), inside.bottom());
        p.setBrush(kGreen);
        p.drawPolygon(hills);
        p.restore();
    });
}

QImage optImageSize() {
    return draw(40, 40, [](QPainter& p) {
        // Small and large frames with a double-headed diagonal arrow.
        QPen dashed(kGrey, 1.0);
        dashed.setDashPattern({3, 2});
        p.setPen(dashed);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(2.5, 2.5, 35, 35));
        p.setPen(pen(kInk, 1.0));
        p.setBrush(kBluePale);
        p.drawRect(QRectF(2.5, 22.5, 15, 15));

        const QPointF a(8, 32);
        const QPointF b(34, 6);
        p.setPen(pen(kBlue, 2.4));
        p.drawLine(QPointF(a.x() + 3, a.y() - 3), QPointF(b.x() - 3, b.y() + 3));
        p.setPen(pen(kBlue, 1.0));
        p.setBrush(kBlue);
        QPolygonF headB;
        headB << b << QPointF(b.x() - 9, b.y() + 1) << QPointF(b.x() - 1, b.y() + 9);
        p.drawPolygon(headB);
        QPolygonF headA;
        headA << a << QPointF(a.x() + 9, a.y() - 1) << QPointF(a.x() + 1, a.y() - 9);
        p.drawPolygon(headA);
    });
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s RESOURCES_FOLDER\n", argv[0]);
        return 2;
    }
    gOutDir = QString::fromLocal8Bit(argv[1]);

    for (int size : {16, 32, 48, 128, 256})
        save(appIcon(size), QStringLiteral("icons/icon-%1.png").arg(size));
    save(appIcon(256), QStringLiteral("korvenix31.png"));

    save(glyphOpen(), QStringLiteral("glyphs/open.png"));
    save(glyphErase(), QStringLiteral("glyphs/erase.png"));
    save(glyphReport(), QStringLiteral("glyphs/report.png"));
    save(glyphSlide(), QStringLiteral("glyphs/slide.png"));
    save(glyphStop(), QStringLiteral("glyphs/stop.png"));
    const QImage existing = glyphBuildExisting();
    save(existing, QStringLiteral("glyphs/build-existing.png"));
    save(disabledLook(existing), QStringLiteral("glyphs/build-existing-disabled.png"));
    const QImage fresh = glyphBuildNew();
    save(fresh, QStringLiteral("glyphs/build-new.png"));
    save(disabledLook(fresh), QStringLiteral("glyphs/build-new-disabled.png"));
    save(glyphShowIndex(), QStringLiteral("glyphs/show-index.png"));
    save(glyphHelp(), QStringLiteral("glyphs/help.png"));
    save(glyphWeb(), QStringLiteral("glyphs/web.png"));
    save(glyphSeeIndex(), QStringLiteral("glyphs/see-index.png"));
    save(glyphClose(), QStringLiteral("glyphs/close.png"));
    save(glyphWait(), QStringLiteral("glyphs/wait.png"));

    save(optClock(), QStringLiteral("options/image1.png"));
    save(optCadApp(), QStringLiteral("options/image2.png"));
    save(optBin(), QStringLiteral("options/image3.png"));
    save(optWindowOnTop(), QStringLiteral("options/image4.png"));
    save(optPower(), QStringLiteral("options/image5.png"));
    save(optJpgHtml(), QStringLiteral("options/image6.png"));
    save(optImageSize(), QStringLiteral("options/image8.png"));

    return gFailures == 0 ? 0 : 1;
}
