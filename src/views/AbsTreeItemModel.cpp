#include "views/AbsTreeItemModel.h"

#include <algorithm>

AbsTreeItemModel::ItemNode::ItemNode(int nodeType, const QString &nodeText)
    : type(nodeType)
    , text(nodeText)
{
}

AbsTreeItemModel::ItemNode::~ItemNode()
{
    qDeleteAll(children);
}

AbsTreeItemModel::AbsTreeItemModel(QObject *parent)
    : QAbstractItemModel(parent)
{
}

AbsTreeItemModel::~AbsTreeItemModel()
{
    qDeleteAll(m_topLevel);
}

AbsTreeItemModel::ItemNode *AbsTreeItemModel::nodeOf(const QModelIndex &index)
{
    return index.isValid() ? static_cast<ItemNode *>(index.internalPointer()) : nullptr;
}

QModelIndex AbsTreeItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    ItemNode *parentNode = nodeOf(parent);
    ItemNode *node = parentNode ? parentNode->children.at(row) : m_topLevel.at(row);
    node->row = row;
    node->column = column;
    node->model = this;
    return createIndex(row, column, node);
}

QModelIndex AbsTreeItemModel::parent(const QModelIndex &index) const
{
    const ItemNode *node = nodeOf(index);
    return node ? firstColumnIndex(node->parent) : QModelIndex();
}

int AbsTreeItemModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const ItemNode *node = nodeOf(parent);
    return int(node ? node->children.size() : m_topLevel.size());
}

QModelIndex AbsTreeItemModel::indexOfNode(ItemNode *node) const
{
    if (!node)
        return QModelIndex();
    if (node->row >= 0 && node->model == this)
        return createIndex(node->row, node->column, node);
    const QList<ItemNode *> &siblings = node->parent ? node->parent->children : m_topLevel;
    const int row = int(siblings.indexOf(node));
    return row < 0 ? QModelIndex() : createIndex(row, 0, node);
}

QModelIndex AbsTreeItemModel::firstColumnIndex(ItemNode *node) const
{
    if (!node)
        return QModelIndex();
    const QModelIndex cached = indexOfNode(node);
    return cached.isValid() ? cached.siblingAtColumn(0) : cached;
}

void AbsTreeItemModel::nodeChanged(ItemNode *node)
{
    const QModelIndex first = firstColumnIndex(node);
    if (first.isValid())
        emit dataChanged(first, first.siblingAtColumn(columnCount(first.parent()) - 1));
}

QList<AbsTreeItemModel::ItemNode *> &AbsTreeItemModel::siblingsOf(ItemNode *parent)
{
    return parent ? parent->children : m_topLevel;
}

void AbsTreeItemModel::renumber(QList<ItemNode *> &siblings, int from)
{
    for (int i = from; i < siblings.size(); ++i) {
        if (siblings[i]->row >= 0)
            siblings[i]->row = i;
    }
}

void AbsTreeItemModel::removeAllChildren(ItemNode *node)
{
    QList<ItemNode *> &children = siblingsOf(node);
    if (children.isEmpty())
        return;
    beginRemoveRows(firstColumnIndex(node), 0, int(children.size()) - 1);
    const QList<ItemNode *> doomed = children;
    children.clear();
    qDeleteAll(doomed);
    endRemoveRows();
}

void AbsTreeItemModel::removeNode(ItemNode *node)
{
    if (!node)
        return;
    removeAllChildren(node);
    QList<ItemNode *> &siblings = siblingsOf(node->parent);
    const int row = int(siblings.indexOf(node));
    if (row < 0)
        return;
    beginRemoveRows(firstColumnIndex(node->parent), row, row);
    siblings.removeAt(row);
    renumber(siblings, row);
    endRemoveRows();
    delete node;
}

void AbsTreeItemModel::insertNode(ItemNode *parent, int position, ItemNode *node)
{
    QList<ItemNode *> &siblings = siblingsOf(parent);
    position = qBound(0, position, int(siblings.size()));
    beginInsertRows(firstColumnIndex(parent), position, position);
    node->parent = parent;
    node->model = this;
    siblings.insert(position, node);
    renumber(siblings, position + 1);
    endInsertRows();
}

void AbsTreeItemModel::appendNode(ItemNode *parent, ItemNode *node)
{
    insertNode(parent, int(siblingsOf(parent).size()), node);
}

QList<AbsTreeItemModel::ItemNode *> AbsTreeItemModel::allNodes() const
{
    QList<ItemNode *> nodes;
    // Explicit stack: pre-order without recursion.
    QList<ItemNode *> pending(m_topLevel.crbegin(), m_topLevel.crend());
    while (!pending.isEmpty()) {
        ItemNode *node = pending.takeLast();
        nodes.append(node);
        for (auto it = node->children.crbegin(); it != node->children.crend(); ++it)
            pending.append(*it);
    }
    return nodes;
}

int AbsTreeItemModel::countChildrenOfType(const ItemNode *node, int type) const
{
    const QList<ItemNode *> &children = node ? node->children : m_topLevel;
    return int(std::count_if(children.cbegin(), children.cend(), [type](const ItemNode *c) { return c->type == type; }));
}

void AbsTreeItemModel::emitLayoutChanged()
{
    emit layoutChanged();
}
