#include "ui/SourceTreeView.h"

#include "views/ViewIcons.h"

#include <QPainter>

SourceTreeView::SourceTreeView(QWidget *parent)
    : QTreeView(parent)
{
    setIconSize(ViewIconSize);
}

void SourceTreeView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    emit onSelectionChanged(selected, deselected);
    QTreeView::selectionChanged(selected, deselected);
}

void SourceTreeView::contextMenuEvent(QContextMenuEvent *event)
{
    emit createContextMenu();
    QTreeView::contextMenuEvent(event);
}

void SourceTreeView::setEmptyHint(const QString &hint)
{
    if (hint == m_emptyHint)
        return;
    m_emptyHint = hint;
    viewport()->update();
}

void SourceTreeView::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
    if (m_emptyHint.isEmpty() || (model() && model()->rowCount() > 0))
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    // Wrapped at the view's width, whatever the pane's size.
    painter.drawText(viewport()->rect().adjusted(20, 20, -20, -20), Qt::AlignCenter | Qt::TextWordWrap, m_emptyHint);
}
