#pragma once
// The 252 x 126 view of the preview picture a drawing stores in its own file.

#include <QString>
#include <QWidget>

class TDwgThumbnail : public QWidget {
    Q_OBJECT
public:
    explicit TDwgThumbnail(QWidget* parent = nullptr);
    ~TDwgThumbnail() override;

    // Shows the drawing's stored picture. Throws std::runtime_error when the drawing is
    // damaged; a drawing that stores no picture is not an error.
    void setDwgFileName(const QString& path);
    QString dwgFileName() const { return m_fileName; }

    // true: a picture smaller than the area keeps its own size; false: it is enlarged.
    void setNoMagnify(bool on);
    bool noMagnify() const { return m_noMagnify; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_fileName;
    bool m_noMagnify = true;
};
