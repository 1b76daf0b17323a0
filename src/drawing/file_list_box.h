#pragma once
// A list of one folder's files that match a mask ("*.dwg").

#include <QListWidget>
#include <QString>

class TFileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TFileListBox(QWidget* parent = nullptr);

    void setMask(const QString& mask) { m_mask = mask; }
    QString mask() const { return m_mask; }
    QString directory() const { return m_directory; }

private:
    QString m_mask = QStringLiteral("*.*");
    QString m_directory;
};
