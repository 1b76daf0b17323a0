#pragma once
// The 252 x 126 view of the preview picture a drawing stores in its own file.

#include <QImage>
#include <QString>
#include <QWidget>
#include <string>

#include "preview/dwg_preview.h"
#include "preview/preview_area.h"
#include "preview/rgb_picture.h"

class TDwgThumbnail : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString DwgFileName READ dwgFileName WRITE setDwgFileName)
    Q_PROPERTY(bool NoMagnify READ noMagnify WRITE setNoMagnify)
public:
    explicit TDwgThumbnail(QWidget* parent = nullptr);
    ~TDwgThumbnail() override;

    // Shows the drawing's stored picture. Throws std::runtime_error when the drawing is
    // damaged; a drawing that stores no picture is not an error.
    void setDwgFileName(const QString& path);
    // The same for a path as the file system names it (bytes, not necessarily UTF-8).
    void setDwgFile(const std::string& path);
    // The same with the picture already read by readPreview, fitted to this area.
    void setDwgFile(const std::string& path, kvx::PreviewResult read);
    QString dwgFileName() const { return m_fileName; }

    // true: a picture smaller than the area keeps its own size; false: it is enlarged.
    void setNoMagnify(bool on);
    bool noMagnify() const { return m_noMagnify; }

    // Whether the last drawing set stores a picture that is being shown.
    bool hasPicture() const { return m_shown == Shown::Picture; }

    static const char* const kNoPreviewNote;

    // What the area shows now, for a picture of it drawn elsewhere (a report).
    kvx::PreviewAreaContent content() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Shown { Nothing, Picture, NoPicture };

    QString m_fileName;
    bool m_noMagnify = true;
    Shown m_shown = Shown::Nothing;
    // Kept so that a change of NoMagnify never reads the file again: as stored when it fits the
    // area, else already reduced to fit it (m_reduced).
    kvx::RgbPicture m_picture;
    bool m_reduced = false;
    QColor m_background;
    mutable QImage
        m_scaled; // m_picture fitted into the area, made again when the fitted size changes
};
