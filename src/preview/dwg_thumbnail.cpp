#include "preview/dwg_thumbnail.h"

#include "files/file_name_text.h"

#include <QFile>
#include <QPainter>
#include <stdexcept>

#include "preview/dwg_preview.h"
#include "preview/preview_area.h"

const char* const TDwgThumbnail::kNoPreviewNote = kvx::kNoPreviewNote;

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
    // A picture larger than the area is reduced while it is decoded: shown whatever NoMagnify
    // says, it never needs the full size. A smaller one is kept as it is stored.
    const kvx::FitBox area{static_cast<std::uint32_t>(width()),
                           static_cast<std::uint32_t>(height()), false};
    setDwgFile(path, kvx::readPreview(path, area));
}

void TDwgThumbnail::setDwgFile(const std::string& path, kvx::PreviewResult result) {
    m_fileName = kvx::displayName(path);
    const kvx::FitBox area{static_cast<std::uint32_t>(width()),
                           static_cast<std::uint32_t>(height()), false};
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

kvx::PreviewAreaContent TDwgThumbnail::content() const {
    kvx::PreviewAreaContent content;
    switch (m_shown) {
    case Shown::Nothing:
        content.kind = kvx::PreviewAreaContent::Kind::Empty;
        break;
    case Shown::NoPicture:
        content.kind = kvx::PreviewAreaContent::Kind::NoPicture;
        break;
    case Shown::Picture: {
        // A reduced picture already has its size in the area.
        const bool enlarge = !m_noMagnify && !m_reduced;
        const kvx::Size2 fitted =
            kvx::fitInto(m_picture.width, m_picture.height, static_cast<std::uint32_t>(width()),
                         static_cast<std::uint32_t>(height()), enlarge);
        if (m_scaled.size() !=
            QSize(static_cast<int>(fitted.width), static_cast<int>(fitted.height)))
            m_scaled = kvx::fittedPreview(m_picture, width(), height(), enlarge);
        content.kind = kvx::PreviewAreaContent::Kind::Picture;
        content.scaled = m_scaled;
        content.background = m_background;
        break;
    }
    }
    return content;
}

void TDwgThumbnail::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    kvx::PreviewAreaLook look;
    look.window = palette().color(QPalette::Window);
    look.windowText = palette().color(QPalette::WindowText);
    look.noteFont = font();
    kvx::paintPreviewArea(painter, rect(), content(), look);
}
