#pragma once

#include "ui/Export.h"

#include <QItemSelection>
#include <QTreeView>

// Tree view that tells its owner about selection changes and context-menu requests before
// the base class reacts, so the window can update commands and build the menu itself.
class PARLEWICK_UI_EXPORT SourceTreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit SourceTreeView(QWidget *parent = nullptr);

    // Drawn in the middle of the view while it has no rows, so that an empty pane says what to do.
    void setEmptyHint(const QString &hint);
    QString emptyHint() const { return m_emptyHint; }

signals:
    void onSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected);
    void createContextMenu();

protected:
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_emptyHint;
};
