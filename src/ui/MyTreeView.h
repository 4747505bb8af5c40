#pragma once

#include <QItemSelection>
#include <QTreeView>

// Tree view that tells its owner about selection changes and context-menu requests before
// the base class reacts, so the window can update commands and build the menu itself.
class MyTreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit MyTreeView(QWidget *parent = nullptr);

signals:
    void onSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected);
    void createContextMenu();

protected:
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};
