#include "drawing/file_list_box.h"

#include "drawing/folder_listing.h"
#include "drawing/view_focus.h"
#include "files/file_name_text.h"
#include "files/paths.h"

#include <QFile>
#include <QHelpEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>
#include <stdexcept>
#include <unistd.h>

namespace {
constexpr int NativeNameRole = Qt::UserRole + 1;

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

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true); // keeps folders of thousands of drawings quick
    setVerticalScrollBar(new QuietScrollBar(Qt::Vertical, this));
    connect(this, &QListWidget::currentRowChanged, this, [this] {
        if (!m_settingInCode)
            emit userClick();
    });
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
    m_settingInCode = true;
    clear();
    m_settingInCode = false;
    const kvx::FolderListing listing = kvx::listFolder(m_nativeDirectory, kvx::nativeName(m_mask));
    if (!listing.ok)
        throw std::runtime_error(
            QStringLiteral("Cannot read the folder \"%1\": %2")
                .arg(m_directory, QString::fromLocal8Bit(listing.error.c_str()))
                .toStdString());
    m_settingInCode = true;
    for (const std::string& n : listing.names) {
        auto* item = new QListWidgetItem(kvx::displayName(n));
        item->setData(NativeNameRole, QByteArray::fromStdString(n));
        addItem(item);
    }
    setCurrentRow(-1);
    m_settingInCode = false;
    // Bare file names are found in the folder the list shows. A folder that can be listed
    // but not entered keeps the previous working folder, as it always did.
    if (::chdir(m_nativeDirectory.c_str()) != 0)
        return;
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
    const std::string path = selectedNativePath();
    return path.empty() ? QString() : kvx::displayName(path);
}

std::string TFileListBox::nativeName(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(NativeNameRole).toByteArray().toStdString() : std::string();
}

std::string TFileListBox::selectedNativePath() const {
    if (!currentItem() || currentRow() < 0)
        return std::string();
    return kvx::joinPath(m_nativeDirectory, nativeName(currentRow()));
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
    return QListWidget::viewportEvent(event);
}

void TFileListBox::paintEvent(QPaintEvent* event) {
    QListWidget::paintEvent(event);
    kvx::paintViewFocus(this);
}

void TFileListBox::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    viewport()->update();
}

void TFileListBox::focusOutEvent(QFocusEvent* event) {
    QListWidget::focusOutEvent(event);
    viewport()->update();
}
