#pragma once
// One folder's files that match a mask ("*.dwg"), by bare name, sorted by name. Each entry
// keeps its name as the bytes the file system gave: files are reached through those bytes,
// and the text shown is only their display form, made when a row is drawn or searched.

#include "drawing/folder_listing.h"
#include "files/name_list.h"

#include <QElapsedTimer>
#include <QListView>
#include <QString>
#include <cstdint>
#include <string>

class FileNameModel;

class TFileListBox : public QListView {
    Q_OBJECT
public:
    explicit TFileListBox(QWidget* parent = nullptr);

    void setMask(const QString& mask) { m_mask = mask; }
    QString mask() const { return m_mask; }
    // Reads the folder in place of the mask, for a list that leaves some files out (the
    // Index tab's pages, less the index's own). It runs on the reading thread.
    using Lister = kvx::FolderListing (*)(const std::string& folder);
    void setLister(Lister lister) { m_lister = lister; }
    // The folder as shown.
    QString directory() const { return m_directory; }
    // The folder as the file system names it.
    const std::string& nativeDirectory() const { return m_nativeDirectory; }

    // Reads `folder` and makes it the working folder. Throws std::runtime_error with the
    // system's reason when the folder cannot be read; the list is then empty.
    void setDirectory(const QString& folder);
    void setNativeDirectory(const std::string& folder);
    // Reads the same folder again.
    void rereadFolder();
    // Empties the list without reading anything.
    void clearFolder();
    // While on, the folder is read on a thread of its own and the window answers the desktop
    // meanwhile: a folder of 100,000 files takes a tenth of a second, which a batch must not
    // stand still for. A folder picked meanwhile is read in its turn and its list stands.
    void setReadAnswering(bool on) { m_readAnswering = on; }

    int count() const;
    // The selected row, -1 for none; setting it in code raises no click.
    int itemIndex() const { return currentIndex().row(); }
    void setItemIndex(int index);

    // The folder, one "/" and the selected item's name, as shown; empty when nothing is
    // selected. For messages and labels: reach the file through selectedNativePath().
    QString selectedPath() const;
    // The same path as the file system's bytes; empty when nothing is selected.
    std::string selectedNativePath() const;
    // Row `row`'s name as the file system's bytes.
    std::string nativeName(int row) const;
    // Row `row`'s name as shown.
    QString text(int row) const;
    // Every row's name as the file system's bytes, in list order.
    const kvx::NameList& nativeNames() const;

signals:
    // The user changed the selection, with the mouse or the keyboard.
    void userClick();

protected:
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // A selection moved in code is told to accessibility tools (a screen reader) at most once
    // in kToldEvery milliseconds: the batch moves it many times a second, and a reader would
    // speak each one and ask the window back about it.
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    static constexpr qint64 kToldEvery = 1000;
    FileNameModel* m_model;
    QString m_mask = QStringLiteral("*.*");
    QString m_directory;
    std::string m_nativeDirectory;
    bool m_settingInCode = false;
    bool m_untold = false; // the change being made is not told to accessibility tools
    QElapsedTimer m_sinceTold;
    bool m_readAnswering = false;
    Lister m_lister = nullptr;
    std::uint64_t m_reads = 0; // reads begun: one that ends after a newer one began is dropped
};
