#include "drawing/file_list_box.h"

#include "app/answering.h"
#include "drawing/folder_listing.h"
#include "drawing/view_focus.h"
#include "files/file_name_text.h"
#include "files/paths.h"

#include <QAbstractListModel>
#include <QCoreApplication>
#include <QFile>
#include <QHelpEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>
#include <stdexcept>
#include <unistd.h>

// The names of the list, packed; their display text is made for the rows asked for.
class FileNameModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    const kvx::NameList& names() const { return m_names; }
    void setNames(kvx::NameList names) {
        beginResetModel();
        m_names = std::move(names);
        endResetModel();
    }
    std::string name(int row) const {
        return row >= 0 && row < rowCount() ? std::string(m_names[static_cast<std::size_t>(row)])
                                            : std::string();
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_names.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return QVariant();
        return kvx::displayName(name(index.row()));
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren
                               : Qt::NoItemFlags;
    }

private:
    kvx::NameList m_names;
};

namespace {

// A scroll bar that repaints on a new value only when it looks different: in a list of
// thousands of drawings, a step of one row moves the slider by less than a pixel, and the
// batch steps through every row.
class QuietScrollBar : public QScrollBar {
public:
    QuietScrollBar(Qt::Orientation orientation, QWidget* parent)
        : QScrollBar(orientation, parent) {}

protected:
    void sliderChange(SliderChange change) override {
        const Look now = look();
        if (change == SliderValueChange && now == m_shown)
            return;
        m_shown = now;
        QScrollBar::sliderChange(change);
    }
    void paintEvent(QPaintEvent* event) override {
        m_shown = look();
        QScrollBar::paintEvent(event);
    }

private:
    // What a value changes on screen: where the slider is, and whether an arrow is greyed.
    struct Look {
        QRect slider;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Look& o) const {
            return slider == o.slider && atMinimum == o.atMinimum && atMaximum == o.atMaximum;
        }
    };
    Look look() const {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                        this),
                value() == minimum(), value() == maximum()};
    }

    Look m_shown;
};

} // namespace

TFileListBox::TFileListBox(QWidget* parent) : QListView(parent), m_model(new FileNameModel(this)) {
    setModel(m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true); // the view measures one row, not every one
    setVerticalScrollBar(new QuietScrollBar(Qt::Vertical, this));
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!m_settingInCode)
            emit userClick();
    });
}

int TFileListBox::count() const {
    return m_model->rowCount();
}

void TFileListBox::setDirectory(const QString& folder) {
    setNativeDirectory(kvx::nativeName(folder));
}

void TFileListBox::setNativeDirectory(const std::string& folder) {
    m_nativeDirectory = folder;
    m_directory = kvx::displayName(folder);
    rereadFolder();
}

void TFileListBox::rereadFolder() {
    clearFolder();
    const std::string folder = m_nativeDirectory, mask = kvx::nativeName(m_mask);
    const std::uint64_t read = ++m_reads;
    const auto list = [folder, mask, lister = m_lister] {
        return lister ? lister(folder) : kvx::listFolder(folder, mask);
    };
    kvx::FolderListing listing = m_readAnswering ? kvx::whileAnswering(list) : list();
    // The user picked another folder while this one was read: that read's list stands.
    if (read != m_reads)
        return;
    if (!listing.ok)
        throw std::runtime_error(
            QStringLiteral("Cannot read the folder \"%1\": %2")
                .arg(kvx::displayName(folder), QString::fromLocal8Bit(listing.error.c_str()))
                .toStdString());
    m_settingInCode = true;
    m_model->setNames(std::move(listing.names));
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::ClearAndSelect);
    m_settingInCode = false;
    // Bare file names are found in the folder the list shows. A folder that can be listed
    // but not entered keeps the previous working folder, as it always did.
    if (::chdir(folder.c_str()) != 0)
        return;
}

void TFileListBox::clearFolder() {
    m_settingInCode = true;
    selectionModel()->clear();
    m_model->setNames(kvx::NameList());
    m_settingInCode = false;
}

void TFileListBox::setItemIndex(int index) {
    m_settingInCode = true;
    m_untold = m_sinceTold.isValid() && !m_sinceTold.hasExpired(kToldEvery);
    if (!m_untold)
        m_sinceTold.start();
    selectionModel()->setCurrentIndex(m_model->index(index), QItemSelectionModel::ClearAndSelect);
    m_untold = false;
    m_settingInCode = false;
}

void TFileListBox::selectionChanged(const QItemSelection& selected,
                                    const QItemSelection& deselected) {
    // QListView's own part is the accessibility notice alone.
    if (m_untold)
        QAbstractItemView::selectionChanged(selected, deselected);
    else
        QListView::selectionChanged(selected, deselected);
}

void TFileListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    if (m_untold)
        QAbstractItemView::currentChanged(current, previous);
    else
        QListView::currentChanged(current, previous);
}

QString TFileListBox::selectedPath() const {
    const std::string path = selectedNativePath();
    return path.empty() ? QString() : kvx::displayName(path);
}

std::string TFileListBox::nativeName(int row) const {
    return m_model->name(row);
}

QString TFileListBox::text(int row) const {
    return m_model->index(row).data().toString();
}

const kvx::NameList& TFileListBox::nativeNames() const {
    return m_model->names();
}

std::string TFileListBox::selectedNativePath() const {
    if (itemIndex() < 0)
        return std::string();
    return kvx::joinPath(m_nativeDirectory, nativeName(itemIndex()));
}

bool TFileListBox::viewportEvent(QEvent* event) {
    // A name cut short by the list's width shows whole as a tool tip.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid()) {
            const QRect rect = visualRect(index);
            const int needed = sizeHintForIndex(index).width();
            if (needed > rect.width() || rect.left() + needed > viewport()->width()) {
                QToolTip::showText(help->globalPos(), index.data().toString(), viewport(), rect);
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QListView::viewportEvent(event);
}

void TFileListBox::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    kvx::paintViewFocus(this);
}

void TFileListBox::focusInEvent(QFocusEvent* event) {
    QListView::focusInEvent(event);
    viewport()->update();
}

void TFileListBox::focusOutEvent(QFocusEvent* event) {
    QListView::focusOutEvent(event);
    viewport()->update();
}
