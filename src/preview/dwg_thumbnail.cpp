#include "preview/dwg_thumbnail.h"

#include <QPainter>

TDwgThumbnail::TDwgThumbnail(QWidget* parent) : QWidget(parent) {
    setObjectName("DwgThumbnail1");
}

TDwgThumbnail::~TDwgThumbnail() = default;

void TDwgThumbnail::setDwgFileName(const QString& path) {
    m_fileName = path;
    update();
}

void TDwgThumbnail::setNoMagnify(bool on) {
    m_noMagnify = on;
    update();
}

void TDwgThumbnail::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
}
