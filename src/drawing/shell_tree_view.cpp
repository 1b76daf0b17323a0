#include "drawing/shell_tree_view.h"

#include "drawing/desktop_folder.h"
#include "drawing/folder_listing.h"
#include "drawing/view_focus.h"
#include "files/file_name_text.h"
#include "files/paths.h"

#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStorageInfo>
#include <algorithm>
#include <vector>

namespace {

constexpr int LoadedRole = Qt::UserRole + 2;
// The folder as the file system names it (bytes); PathRole holds its display form.
constexpr int NativePathRole = Qt::UserRole + 3;

const QFileIconProvider& icons() {
    static const QFileIconProvider provider;
    return provider;
}

// Real volumes only: the pseudo file systems under /proc, /sys, /dev and /run are not
// places where anybody keeps drawings.
QStringList mountedVolumes() {
    QStringList roots;
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        const QString root = s.rootPath();
        if (!s.isValid() || !s.isReady() || root == QLatin1String("/"))
            continue;
        if (!s.device().startsWith("/dev/") && !s.fileSystemType().startsWith("nfs") &&
            !s.fileSystemType().startsWith("cifs") && !s.fileSystemType().startsWith("fuse"))
            continue;
        static const char* const hidden[] = {"/proc", "/sys", "/dev", "/run", "/boot", "/snap"};
        bool skip = false;
        for (const char* h : hidden)
            skip |=
                root == QLatin1String(h) || root.startsWith(QLatin1String(h) + QLatin1Char('/'));
        if (root.startsWith(QLatin1String("/run/media/")))
            skip = false;
        if (!skip)
            roots << root;
    }
    roots.sort();
    return roots;
}

bool isUnder(const std::string& path, const std::string& folder) {
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path == folder || (path.size() > folder.size() && path[folder.size()] == '/' &&
                              path.compare(0, folder.size(), folder) == 0);
}

std::string nativePathOf(const QStandardItem* item) {
    return item->data(NativePathRole).toByteArray().toStdString();
}

} // namespace

TShellTreeView::TShellTreeView(QWidget* parent)
    : QTreeView(parent), m_model(new QStandardItemModel(this)) {
    setModel(m_model);
    setHeaderHidden(true);
    setIndentation(19);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The one column is as wide as its widest row, and the tree scrolls sideways: in deep
    // folders a row squeezed into the view's width loses its name, and then its selection
    // to the arrow keys.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The selection stays visible when the tree loses the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    connect(this, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { fill(m_model->itemFromIndex(index)); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!m_quiet)
            emit changed();
    });
}

QStandardItem* TShellTreeView::folderItem(const std::string& path, const QString& text,
                                          const QIcon& icon) {
    auto* item = new QStandardItem(icon, text);
    item->setData(kvx::displayName(path), PathRole);
    item->setData(QByteArray::fromStdString(path), NativePathRole);
    item->setData(false, LoadedRole);
    // A placeholder child gives the node its expander until it is filled.
    item->appendRow(new QStandardItem);
    return item;
}

void TShellTreeView::fill(QStandardItem* item) {
    if (!item || item->data(LoadedRole).toBool())
        return;
    item->setData(true, LoadedRole);
    item->removeRows(0, item->rowCount());
    const std::string path = item->data(NativePathRole).toByteArray().toStdString();
    if (path.empty()) {
        // The computer: its root folder and the mounted volumes.
        item->appendRow(
            folderItem("/", QStringLiteral("/"), icons().icon(QFileIconProvider::Drive)));
        for (const QString& root : mountedVolumes())
            item->appendRow(
                folderItem(kvx::nativeName(root), root, icons().icon(QFileIconProvider::Drive)));
        return;
    }
    // Names as the file system gives them, so that every folder can be entered.
    const kvx::FolderListing subs = kvx::listSubfolders(path);
    const QIcon folderIcon = icons().icon(QFileIconProvider::Folder);
    for (const std::string_view n : subs.names) {
        const std::string name(n);
        item->appendRow(folderItem(kvx::joinPath(path, name), kvx::displayName(name), folderIcon));
    }
}

void TShellTreeView::populate(const QString& desktop) {
    m_model->clear();
    m_desktop = desktop;
    const QString root = desktop.isEmpty() ? kvx::desktopFolder() : desktop;
    QStandardItem* top = folderItem(kvx::nativeName(root),
                                    QDir(root).dirName().isEmpty() ? root : QDir(root).dirName(),
                                    icons().icon(QFileIconProvider::Desktop));
    m_model->appendRow(top);
    fill(top);
    auto* computer =
        new QStandardItem(icons().icon(QFileIconProvider::Computer), QStringLiteral("Computer"));
    computer->setData(QString(), PathRole);
    computer->setData(false, LoadedRole);
    computer->appendRow(new QStandardItem);
    top->appendRow(computer);
    const QString home = QDir::homePath();
    top->appendRow(folderItem(kvx::nativeName(home), QDir(home).dirName(),
                              icons().icon(QFileIconProvider::Folder)));
    expand(top->index());
    setCurrentIndex(top->index());
}

QString TShellTreeView::selectedPath() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.data(PathRole).toString() : QString();
}

std::string TShellTreeView::selectedNativePath() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.data(NativePathRole).toByteArray().toStdString() : std::string();
}

int TShellTreeView::selectedSiblingIndex() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.row() : -1;
}

void TShellTreeView::rereadSelected() {
    QStandardItem* item = m_model->itemFromIndex(currentIndex());
    if (!item || !item->data(LoadedRole).toBool())
        return; // not read yet: its first expansion reads it
    item->setData(false, LoadedRole);
    if (isExpanded(item->index())) {
        fill(item);
    } else {
        item->removeRows(0, item->rowCount());
        item->appendRow(new QStandardItem);
    }
}

void TShellTreeView::rereadAll() {
    const bool virtualNode = currentIndex().isValid() && selectedNativePath().empty();
    std::string path = selectedNativePath();
    m_quiet = true;
    populate(m_desktop);
    if (virtualNode) {
        QStandardItem* top = m_model->item(0);
        for (int i = 0; i < top->rowCount(); ++i)
            if (nativePathOf(top->child(i)).empty() && !top->child(i)->text().isEmpty())
                setCurrentIndex(top->child(i)->index());
    }
    // A folder deleted meanwhile gives way to the nearest one above it that is still there.
    while (!path.empty() && !selectNativePath(path) && path != "/")
        path = path.substr(0, std::max<std::size_t>(path.find_last_of('/'), 1));
    m_quiet = false;
}

bool TShellTreeView::selectOverallPosition(int position) {
    // Depth first over the real nodes; a placeholder child (no folder, no text) is none.
    std::vector<QStandardItem*> pending;
    for (int i = m_model->rowCount() - 1; i >= 0; --i)
        pending.push_back(m_model->item(i));
    int seen = 0;
    while (!pending.empty() && position >= 0) {
        QStandardItem* item = pending.back();
        pending.pop_back();
        if (item->text().isEmpty() && !item->data(PathRole).isValid())
            continue;
        if (seen++ == position) {
            scrollTo(item->index());
            setCurrentIndex(item->index());
            return true;
        }
        for (int i = item->rowCount() - 1; i >= 0; --i)
            pending.push_back(item->child(i));
    }
    return false;
}

QStandardItem* TShellTreeView::childFor(QStandardItem* parent, const std::string& path) {
    // The child whose folder holds `path`, the deepest match winning (volumes nest).
    fill(parent);
    QStandardItem* best = nullptr;
    std::size_t bestLength = 0;
    for (int i = 0; i < parent->rowCount(); ++i) {
        QStandardItem* child = parent->child(i);
        const std::string p = nativePathOf(child);
        if (!p.empty() && isUnder(path, p) && (!best || p.size() > bestLength)) {
            best = child;
            bestLength = p.size();
        }
    }
    return best;
}

bool TShellTreeView::selectPath(const QString& wanted) {
    return selectNativePath(kvx::nativeName(QDir::cleanPath(wanted)));
}

bool TShellTreeView::selectNativePath(const std::string& wanted) {
    if (m_model->rowCount() == 0 || wanted.empty())
        return false;
    std::string path = wanted;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    QStandardItem* top = m_model->item(0);
    QStandardItem* node = nullptr;
    if (isUnder(path, nativePathOf(top))) {
        node = top;
    } else {
        // Home, or else through the computer node.
        const std::string home = kvx::nativeName(QDir::homePath());
        QStandardItem* computer = nullptr;
        fill(top);
        for (int i = 0; i < top->rowCount(); ++i) {
            QStandardItem* c = top->child(i);
            const std::string p = nativePathOf(c);
            if (p.empty() && c->text() == QLatin1String("Computer"))
                computer = c;
            else if (p == home && isUnder(path, home))
                node = c;
        }
        if (!node && computer)
            node = childFor(computer, path);
    }
    if (!node)
        return false;
    while (nativePathOf(node) != path) {
        QStandardItem* next = childFor(node, path);
        if (!next)
            return false;
        expand(node->index());
        node = next;
    }
    scrollTo(node->index());
    setCurrentIndex(node->index());
    return true;
}

void TShellTreeView::mousePressEvent(QMouseEvent* event) {
    // A right click selects the folder under the pointer, as a left click does.
    if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid())
            setCurrentIndex(index);
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TShellTreeView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    QTreeView::scrollTo(index, hint);
    if (!index.isValid())
        return;
    // The least sideways move that shows the row's expander, icon and name; the expander
    // side wins when the name is wider than the view.
    QScrollBar* bar = horizontalScrollBar();
    const QRect row = visualRect(index);
    const int left = bar->value() + row.left() - indentation();
    const int right = bar->value() + row.left() + sizeHintForIndex(index).width();
    int value = bar->value();
    if (right - value > viewport()->width())
        value = right - viewport()->width();
    if (left < value)
        value = left;
    bar->setValue(value);
}

void TShellTreeView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    kvx::paintViewFocus(this);
}

void TShellTreeView::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void TShellTreeView::focusOutEvent(QFocusEvent* event) {
    QTreeView::focusOutEvent(event);
    viewport()->update();
}
