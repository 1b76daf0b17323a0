#pragma once
// The folder tree of the View and Index tabs: folders only, rooted at the desktop folder,
// with the virtual "Computer" node (the root folder and the mounted volumes) and the home
// folder under it. Nodes are filled as they are expanded and never refreshed on their own.

#include <QTreeView>
#include <string>

class QStandardItem;
class QStandardItemModel;

class TShellTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TShellTreeView(QWidget* parent = nullptr);

    // Fills the root from the desktop folder (or `desktop` when given) and selects it.
    void populate(const QString& desktop = QString());

    // The selected node's folder as shown; empty for a virtual node or no selection.
    QString selectedPath() const;
    // The same folder as the file system names it, for reaching it.
    std::string selectedNativePath() const;
    // Selects the node of `path`, expanding down to it. False when no node leads there.
    bool selectPath(const QString& path);
    // The same for an absolute path as the file system names it (bytes).
    bool selectNativePath(const std::string& path);
    // The selected node's position among its siblings (-1 without a selection).
    int selectedSiblingIndex() const;
    // Reads the selected node's sub-folders again.
    void rereadSelected();
    // Reads the whole tree again and selects the same folder, or the nearest one above it
    // that is still there, without a `changed` signal: the caller shows the folder again.
    void rereadAll();
    // Selects the node at `position` counted over every node the tree holds, parents before
    // their children, the root being 0. False when the tree holds fewer nodes.
    bool selectOverallPosition(int position);

    // Scrolls sideways too, so that a deep folder's name is readable.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

    static constexpr int PathRole = Qt::UserRole + 1;

signals:
    // The selected node changed, by the user or in code.
    void changed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QStandardItem* folderItem(const std::string& path, const QString& text, const QIcon& icon);
    void fill(QStandardItem* item);
    QStandardItem* childFor(QStandardItem* parent, const std::string& path);

    QStandardItemModel* m_model;
    QString m_desktop;
    bool m_quiet = false;
};
