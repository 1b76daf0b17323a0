#include "preview/preview_area.h"

#include "preview/dwg_preview.h"

#include <QGuiApplication>
#include <QPainter>

namespace kvx {

const char* const kNoPreviewNote = "No preview stored";
const char* const kOlderReleaseNotice = "File previous to AutoCAD 13. Not preview available.";
const char* const kDamagedNotice = "! Corrupted file !";

PreviewAreaLook reportPictureLook() {
    PreviewAreaLook look;
    // The light palette's window and text colours, whatever the desktop's theme.
    look.window = QColor(0xEF, 0xEF, 0xEF);
    look.windowText = Qt::black;
    look.noteFont = QGuiApplication::font();
    look.noticeFont = QGuiApplication::font();
    look.noticeFont.setBold(true);
    look.noticeFont.setPixelSize(16);
    return look;
}

QImage fittedPreview(const RgbPicture& picture, int width, int height, bool enlarge) {
    const Size2 fitted = fitInto(picture.width, picture.height, static_cast<std::uint32_t>(width),
                                 static_cast<std::uint32_t>(height), enlarge);
    // A picture reduced while it was read already has the size: no copy of it.
    const bool asRead =
        fitted.width == picture.width && fitted.height == picture.height && !picture.indexed();
    const RgbPicture resampled =
        asRead ? RgbPicture{} : resampleArea(picture, fitted.width, fitted.height);
    const RgbPicture& scaled = asRead ? picture : resampled;
    // In the format windows paint in: drawn as it is, without a conversion at every paint.
    return QImage(scaled.rgb.data(), static_cast<int>(fitted.width),
                  static_cast<int>(fitted.height), static_cast<qsizetype>(fitted.width) * 3,
                  QImage::Format_RGB888)
        .convertToFormat(QImage::Format_RGB32);
}

PreviewAreaContent previewContentOf(PreviewResult& result, bool magnify,
                                    const QString& damagedNotice) {
    PreviewAreaContent content;
    switch (result.status) {
    case PreviewStatus::Picture: {
        // Read reduced to fit the area when larger: then never enlarged again.
        const bool reduced = result.info.width > static_cast<std::uint32_t>(kPreviewAreaWidth) ||
                             result.info.height > static_cast<std::uint32_t>(kPreviewAreaHeight);
        content.kind = PreviewAreaContent::Kind::Picture;
        content.scaled = fittedPreview(result.picture, kPreviewAreaWidth, kPreviewAreaHeight,
                                       magnify && !reduced);
        const Rgb c = backgroundColour(result.picture);
        content.background = QColor(c.r, c.g, c.b);
        break;
    }
    case PreviewStatus::NoPicture:
        content.kind = PreviewAreaContent::Kind::NoPicture;
        break;
    case PreviewStatus::Damaged:
        content.kind = PreviewAreaContent::Kind::Notice;
        content.notice = damagedNotice;
        break;
    }
    return content;
}

void paintPreviewArea(QPainter& painter, const QRect& area, const PreviewAreaContent& content,
                      const PreviewAreaLook& look) {
    switch (content.kind) {
    case PreviewAreaContent::Kind::Empty:
        painter.fillRect(area, look.window);
        return;
    case PreviewAreaContent::Kind::Picture: {
        painter.fillRect(area, content.background);
        const QSize size = content.scaled.size();
        painter.drawImage(area.x() + (area.width() - size.width()) / 2,
                          area.y() + (area.height() - size.height()) / 2, content.scaled);
        return;
    }
    case PreviewAreaContent::Kind::NoPicture:
        painter.fillRect(area, look.window);
        painter.setFont(look.noteFont);
        painter.setPen(look.windowText);
        painter.drawText(area, Qt::AlignCenter, QString::fromLatin1(kNoPreviewNote));
        return;
    case PreviewAreaContent::Kind::Notice:
        painter.fillRect(area, Qt::white);
        painter.setFont(look.noticeFont);
        painter.setPen(Qt::black);
        // The notice's label stands two pixels left of the picture and is two pixels wider.
        painter.drawText(QRect(area.x() - 2, area.y(), area.width() + 2, area.height()),
                         Qt::AlignCenter | Qt::TextWordWrap, content.notice);
        return;
    }
}

QImage previewAreaPicture(const PreviewAreaContent& content, const PreviewAreaLook& look) {
    QImage image(kPreviewAreaWidth, kPreviewAreaHeight, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        paintPreviewArea(painter, image.rect(), content, look);
    }
    return image.convertToFormat(QImage::Format_RGB888);
}

} // namespace kvx
