// A file manager's side of the KDE thumbnail plugin, without a window: asks KIO for previews as
// Dolphin does and compares each, pixel by pixel, with a picture made beforehand.
//
//   kio_preview_client SIZE EXPECTED_DIR FILE...  one line per file: "failed NAME", or
//       "preview NAME WxH same" ("differs" when it is not EXPECTED_DIR/NAME.png)

#include <KFileItem>
#include <KIO/PreviewJob>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QUrl>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const int size = args.value(0).toInt();
    if (size <= 0 || args.size() < 3) {
        std::fprintf(stderr, "usage: kio_preview_client SIZE EXPECTED_DIR FILE...\n");
        return 64;
    }
    const QDir expected(args.at(1));
    KFileItemList items;
    for (const QString& file : args.mid(2))
        items.append(KFileItem(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath())));

    // The plugins Dolphin enables unless told otherwise; the picture at the size asked for, not
    // the thumbnail cache's own sizes.
    const QStringList plugins = KIO::PreviewJob::defaultPlugins();
    auto* job = KIO::filePreview(items, QSize(size, size), &plugins);
    job->setScaleType(KIO::PreviewJob::Scaled);
    QObject::connect(
        job, &KIO::PreviewJob::gotPreview, [&](const KFileItem& item, const QPixmap& pixmap) {
            const auto rgb = QImage::Format_RGB32;
            const QImage got = pixmap.toImage().convertToFormat(rgb);
            const QImage want = QImage(expected.filePath(item.name() + QStringLiteral(".png")))
                                    .convertToFormat(rgb);
            std::printf("preview %s %dx%d %s\n", qPrintable(item.name()), got.width(), got.height(),
                        !want.isNull() && got == want ? "same" : "differs");
        });
    QObject::connect(job, &KIO::PreviewJob::failed, [](const KFileItem& item) {
        std::printf("failed %s\n", qPrintable(item.name()));
    });
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
