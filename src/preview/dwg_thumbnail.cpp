#include "preview/dwg_thumbnail.h"

#include "files/file_name_text.h"

#include <QFile>
#include <QPainter>
#include <stdexcept>

#include "preview/dwg_preview.h"

const char* const TDwgThumbnail::kNoPreviewNote = "No preview stored";

TDwgThumbnail::TDwgThumbnail(QWidget* parent) : QWidget(parent) {
    setObjectName("DwgThumbnail1");
    resize(252, 126);
    // Every paint covers the whole area, so what lies beneath (the group's frame) is not
    // painted first each time the picture changes.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TDwgThumbnail::~TDwgThumbnail() = default;

void TDwgThumbnail::setDwgFileName(const QString& path) {
    setDwgFile(QFile::encodeName(path).toStdString());
}

void TDwgThumbnail::setDwgFile(const std::string& path) {
    m_fileName = kvx::displayName(path);
    // A picture larger than the area is reduced while it is decoded: shown whatever NoMagnify
    // says, it never needs the full size. A smaller one is kept as it is stored.
    const kvx::FitBox area{static_cast<std::uint32_t>(width()),
                           static_cast<std::uint32_t>(height()), false};
    kvx::PreviewResult result = kvx::readPreview(path, area);
    m_scaled = QImage();
    m_picture = {};
    switch (result.status) {
    case kvx::PreviewStatus::Picture:
        m_picture = std::move(result.picture);
        m_reduced = result.info.width > area.width || result.info.height > area.height;
        {
            const kvx::Rgb c = kvx::backgroundColour(m_picture);
            m_background = QColor(c.r, c.g, c.b);
        }
        m_shown = Shown::Picture;
        break;
    case kvx::PreviewStatus::NoPicture:
        m_shown = Shown::NoPicture;
        break;
    case kvx::PreviewStatus::Damaged:
        m_shown = Shown::Nothing;
        update();
        throw std::runtime_error(result.message);
    }
    update();
}

void TDwgThumbnail::setNoMagnify(bool on) {
    m_noMagnify = on;
    update();
}

void TDwgThumbnail::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_shown != Shown::Picture) {
        painter.fillRect(rect(), palette().window());
        if (m_shown == Shown::NoPicture) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(rect(), Qt::AlignCenter, QString::fromLatin1(kNoPreviewNote));
        }
        return;
    }
    // A reduced picture already has its size in the area.
    const kvx::Size2 fitted =
        kvx::fitInto(m_picture.width, m_picture.height, static_cast<std::uint32_t>(width()),
                     static_cast<std::uint32_t>(height()), !m_noMagnify && !m_reduced);
    const QSize size(static_cast<int>(fitted.width), static_cast<int>(fitted.height));
    if (m_scaled.size() != size) {
        // A picture reduced while it was read already has the size: no copy of it.
        const bool asRead = fitted.width == m_picture.width && fitted.height == m_picture.height &&
                            !m_picture.indexed();
        const kvx::RgbPicture resampled =
            asRead ? kvx::RgbPicture{} : kvx::resampleArea(m_picture, fitted.width, fitted.height);
        const kvx::RgbPicture& scaled = asRead ? m_picture : resampled;
        // Kept in the format windows paint in: drawn as it is, without a conversion (which the
        // raster engine spreads over threads) at every paint.
        m_scaled = QImage(scaled.rgb.data(), size.width(), size.height(),
                          static_cast<qsizetype>(fitted.width) * 3, QImage::Format_RGB888)
                       .convertToFormat(QImage::Format_RGB32);
    }
    painter.fillRect(rect(), m_background);
    painter.drawImage((width() - size.width()) / 2, (height() - size.height()) / 2, m_scaled);
}
