#pragma once
// One folder's files that match a mask ("*.dwg"), by bare name, sorted by name.

#include <QListWidget>
#include <QString>

class TFileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TFileListBox(QWidget* parent = nullptr);

    void setMask(const QString& mask) { m_mask = mask; }
    QString mask() const { return m_mask; }
    QString directory() const { return m_directory; }

    // Reads `folder` and makes it the working folder. Throws std::runtime_error with the
    // system's reason when the folder cannot be read; the list is then empty.
    void setDirectory(const QString& folder);
    // Reads the same folder again.
    void rereadFolder();
    // Empties the list without reading anything.
    void clearFolder();

    // The selected row, -1 for none; setting it in code raises no click.
    int itemIndex() const { return currentRow(); }
    void setItemIndex(int index);

    // The folder, one "/" and the selected item's name; empty when nothing is selected.
    QString selectedPath() const;

signals:
    // The user changed the selection, with the mouse or the keyboard.
    void userClick();

private:
    QString m_mask = QStringLiteral("*.*");
    QString m_directory;
    bool m_settingInCode = false;
};
