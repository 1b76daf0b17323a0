#pragma once
// The folder tree of the View and Index tabs: folders only, rooted at the desktop.

#include <QTreeView>

class TShellTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TShellTreeView(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
