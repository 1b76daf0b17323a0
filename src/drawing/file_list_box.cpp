#include "drawing/file_list_box.h"

#include "drawing/folder_listing.h"
#include "files/paths.h"

#include <QDir>
#include <stdexcept>

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true); // keeps folders of thousands of drawings quick
    connect(this, &QListWidget::currentRowChanged, this, [this] {
        if (!m_settingInCode)
            emit userClick();
    });
}

void TFileListBox::setDirectory(const QString& folder) {
    m_directory = folder;
    rereadFolder();
}

void TFileListBox::rereadFolder() {
    m_settingInCode = true;
    clear();
    m_settingInCode = false;
    const QByteArray native = QFile::encodeName(m_directory);
    const kvx::FolderListing listing =
        kvx::listFolder(native.toStdString(), QFile::encodeName(m_mask).toStdString());
    if (!listing.ok)
        throw std::runtime_error(
            QStringLiteral("Cannot read the folder \"%1\": %2")
                .arg(m_directory, QString::fromLocal8Bit(listing.error.c_str()))
                .toStdString());
    QStringList names;
    names.reserve(static_cast<int>(listing.names.size()));
    for (const std::string& n : listing.names)
        names << QFile::decodeName(QByteArray::fromStdString(n));
    m_settingInCode = true;
    addItems(names);
    setCurrentRow(-1);
    m_settingInCode = false;
    // Bare file names are found in the folder the list shows.
    QDir::setCurrent(m_directory);
}

void TFileListBox::clearFolder() {
    m_settingInCode = true;
    clear();
    m_settingInCode = false;
}

void TFileListBox::setItemIndex(int index) {
    m_settingInCode = true;
    setCurrentRow(index);
    m_settingInCode = false;
}

QString TFileListBox::selectedPath() const {
    const QListWidgetItem* item = currentItem();
    if (!item || currentRow() < 0)
        return QString();
    return QFile::decodeName(
        QByteArray::fromStdString(kvx::joinPath(QFile::encodeName(m_directory).toStdString(),
                                                QFile::encodeName(item->text()).toStdString())));
}
