// A file manager's side of the KDE thumbnail plugin, without a window: asks KIO for previews as
// Dolphin does and saves what comes back, or compares two pictures pixel by pixel.
//
//   kio_preview_client preview SIZE OUTDIR FILE...  one line per file: "preview NAME WxH" (and
//                                                    OUTDIR/NAME.png) or "failed NAME"
//   kio_preview_client same A.png B.png              exit 0 when the pixels are the same

#include <KFileItem>
#include <KIO/PreviewJob>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace {

int usage() {
    std::fprintf(stderr, "usage: kio_preview_client preview SIZE OUTDIR FILE...\n"
                         "       kio_preview_client same A.png B.png\n");
    return 64;
}

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

int preview(const QStringList& args) {
    bool sizeOk = false;
    const int size = args.value(0).toInt(&sizeOk);
    if (!sizeOk || size <= 0 || args.size() < 3)
        return usage();
    const QDir out(args.at(1));
    KFileItemList items;
    for (const QString& file : args.mid(2))
        items.append(KFileItem(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath())));

    // The plugins Dolphin enables unless told otherwise; the picture at the size asked for, not
    // the thumbnail cache's own sizes.
    const QStringList plugins = KIO::PreviewJob::defaultPlugins();
    auto* job = KIO::filePreview(items, QSize(size, size), &plugins);
    job->setScaleType(KIO::PreviewJob::Scaled);
    QObject::connect(job, &KIO::PreviewJob::gotPreview,
                     [&](const KFileItem& item, const QPixmap& pixmap) {
                         const QImage image = pixmap.toImage();
                         image.save(out.filePath(item.name() + QStringLiteral(".png")), "PNG");
                         say(QStringLiteral("preview %1 %2x%3")
                                 .arg(item.name())
                                 .arg(image.width())
                                 .arg(image.height()));
                     });
    QObject::connect(job, &KIO::PreviewJob::failed,
                     [](const KFileItem& item) { say(QStringLiteral("failed ") + item.name()); });
    int status = 0;
    QObject::connect(job, &KJob::result, [&](KJob* done) {
        if (done->error() != 0) {
            std::fprintf(stderr, "kio_preview_client: %s\n", qPrintable(done->errorString()));
            status = 1;
        }
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    return status;
}

int same(const QStringList& args) {
    if (args.size() != 2)
        return usage();
    QImage a(args.at(0));
    QImage b(args.at(1));
    if (a.isNull() || b.isNull()) {
        std::fprintf(stderr, "kio_preview_client: cannot read %s\n",
                     qPrintable(a.isNull() ? args.at(0) : args.at(1)));
        return 2;
    }
    if (a.size() != b.size()) {
        std::printf("sizes differ: %dx%d and %dx%d\n", a.width(), a.height(), b.width(),
                    b.height());
        return 1;
    }
    a = a.convertToFormat(QImage::Format_RGB32);
    b = b.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                std::printf("pixel %d,%d differs: #%06x and #%06x\n", x, y,
                            a.pixel(x, y) & 0xFFFFFFu, b.pixel(x, y) & 0xFFFFFFu);
                return 1;
            }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString mode = args.takeFirst();
    if (mode == QLatin1String("preview"))
        return preview(args);
    if (mode == QLatin1String("same"))
        return same(args);
    return usage();
}
