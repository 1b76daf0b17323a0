// The thumbnail plugin of KDE's file managers (Dolphin, Konqueror, the file dialogs): the
// picture a drawing stores, as korvenix31-thumbnailer makes it. The reader is compiled in, so
// a preview costs no extra process.

#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <QFile>
#include <QImage>

#include <cstring>

#include "preview/dwg_preview.h"
#include "preview/rgb_picture.h"

namespace {

QImage toImage(const kvx::RgbPicture& reduced) {
    const kvx::RgbPicture picture = kvx::toRgb(reduced);
    QImage image(int(picture.width), int(picture.height), QImage::Format_RGB888);
    if (image.isNull())
        return image;
    const std::size_t rowBytes = std::size_t(picture.width) * 3;
    for (std::uint32_t y = 0; y < picture.height; ++y)
        std::memcpy(image.scanLine(int(y)), picture.rgb.data() + y * rowBytes, rowBytes);
    return image;
}

} // namespace

class DrawingThumbnailCreator : public KIO::ThumbnailCreator {
public:
    DrawingThumbnailCreator(QObject* parent, const QVariantList& args)
        : KIO::ThumbnailCreator(parent, args) {}

    KIO::ThumbnailResult create(const KIO::ThumbnailRequest& request) override {
        const QSize box = request.targetSize();
        if (!request.url().isLocalFile() || box.width() <= 0 || box.height() <= 0)
            return KIO::ThumbnailResult::fail();
        // The same rules as the thumbnailer: never enlarged (the view scales up if it wants),
        // and a drawing without a picture, or a damaged one, has no thumbnail at all, so the
        // file manager shows its icon.
        const std::string path = QFile::encodeName(request.url().toLocalFile()).toStdString();
        const kvx::PreviewResult r = kvx::readPreview(
            path, kvx::FitBox{std::uint32_t(box.width()), std::uint32_t(box.height()), false});
        if (r.status != kvx::PreviewStatus::Picture)
            return KIO::ThumbnailResult::fail();
        const QImage image = toImage(r.picture);
        return image.isNull() ? KIO::ThumbnailResult::fail() : KIO::ThumbnailResult::pass(image);
    }
};

K_PLUGIN_CLASS_WITH_JSON(DrawingThumbnailCreator, "korvenix31thumbnail.json")

#include "drawing_thumbnail.moc"
