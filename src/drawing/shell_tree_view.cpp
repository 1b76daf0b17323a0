#include "drawing/shell_tree_view.h"

#include "drawing/desktop_folder.h"

#include <QDir>
#include <QFileIconProvider>
#include <QMouseEvent>
#include <QPalette>
#include <QStandardItemModel>
#include <QStorageInfo>
#include <vector>

namespace {

constexpr int LoadedRole = Qt::UserRole + 2;

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
            skip |= root == QLatin1String(h) || root.startsWith(QLatin1String(h) + QLatin1Char('/'));
        if (root.startsWith(QLatin1String("/run/media/")))
            skip = false;
        if (!skip)
            roots << root;
    }
    roots.sort();
    return roots;
}

bool isUnder(const QString& path, const QString& folder) {
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
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
    // The selection stays visible when the tree loses the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    connect(this, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { fill(m_model->itemFromIndex(index)); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { emit changed(); });
}

QStandardItem* TShellTreeView::folderItem(const QString& path, const QString& text,
                                          const QIcon& icon) {
    auto* item = new QStandardItem(icon, text);
    item->setData(path, PathRole);
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
    const QString path = item->data(PathRole).toString();
    if (path.isEmpty()) {
        // The computer: its root folder and the mounted volumes.
        item->appendRow(folderItem(QStringLiteral("/"), QStringLiteral("/"),
                                   icons().icon(QFileIconProvider::Drive)));
        for (const QString& root : mountedVolumes())
            item->appendRow(folderItem(root, root, icons().icon(QFileIconProvider::Drive)));
        return;
    }
    const QStringList subs =
        QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    const QIcon folderIcon = icons().icon(QFileIconProvider::Folder);
    for (const QString& name : subs) {
        const QString sub = path.endsWith(QLatin1Char('/')) ? path + name : path + '/' + name;
        item->appendRow(folderItem(sub, name, folderIcon));
    }
}

void TShellTreeView::populate(const QString& desktop) {
    m_model->clear();
    const QString root = desktop.isEmpty() ? kvx::desktopFolder() : desktop;
    QStandardItem* top = folderItem(root, QDir(root).dirName().isEmpty() ? root : QDir(root).dirName(),
                                    icons().icon(QFileIconProvider::Desktop));
    m_model->appendRow(top);
    fill(top);
    auto* computer = new QStandardItem(icons().icon(QFileIconProvider::Computer),
                                       QStringLiteral("Computer"));
    computer->setData(QString(), PathRole);
    computer->setData(false, LoadedRole);
    computer->appendRow(new QStandardItem);
    top->appendRow(computer);
    const QString home = QDir::homePath();
    top->appendRow(folderItem(home, QDir(home).dirName(), icons().icon(QFileIconProvider::Folder)));
    expand(top->index());
    setCurrentIndex(top->index());
}

QString TShellTreeView::selectedPath() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.data(PathRole).toString() : QString();
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

QStandardItem* TShellTreeView::childFor(QStandardItem* parent, const QString& path) {
    // The child whose folder holds `path`, the deepest match winning (volumes nest).
    fill(parent);
    QStandardItem* best = nullptr;
    int bestLength = -1;
    for (int i = 0; i < parent->rowCount(); ++i) {
        QStandardItem* child = parent->child(i);
        const QString p = child->data(PathRole).toString();
        if (!p.isEmpty() && isUnder(path, p) && p.size() > bestLength) {
            best = child;
            bestLength = p.size();
        }
    }
    return best;
}

bool TShellTreeView::selectPath(const QString& wanted) {
    if (m_model->rowCount() == 0)
        return false;
    const QString path = QDir::cleanPath(wanted);
    QStandardItem* top = m_model->item(0);
    QStandardItem* node = nullptr;
    const QString desktop = top->data(PathRole).toString();
    if (isUnder(path, desktop)) {
        node = top;
    } else {
        // Home, or else through the computer node.
        const QString home = QDir::homePath();
        QStandardItem* computer = nullptr;
        fill(top);
        for (int i = 0; i < top->rowCount(); ++i) {
            QStandardItem* c = top->child(i);
            const QString p = c->data(PathRole).toString();
            if (p.isEmpty() && c->text() == QLatin1String("Computer"))
                computer = c;
            else if (p == home && isUnder(path, home))
                node = c;
        }
        if (!node && computer)
            node = childFor(computer, path);
    }
    if (!node)
        return false;
    while (node->data(PathRole).toString() != path) {
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
