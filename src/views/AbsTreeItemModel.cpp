#include "views/AbsTreeItemModel.h"

#include <algorithm>

AbsTreeItemModel::_ItemNode::_ItemNode(int nodeType, const QString &nodeText)
    : type(nodeType)
    , text(nodeText)
{
}

AbsTreeItemModel::_ItemNode::~_ItemNode()
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

AbsTreeItemModel::_ItemNode *AbsTreeItemModel::nodeOf(const QModelIndex &index)
{
    return index.isValid() ? static_cast<_ItemNode *>(index.internalPointer()) : nullptr;
}

QModelIndex AbsTreeItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    _ItemNode *parentNode = nodeOf(parent);
    _ItemNode *node = parentNode ? parentNode->children.at(row) : m_topLevel.at(row);
    node->row = row;
    node->column = column;
    node->model = this;
    return createIndex(row, column, node);
}

QModelIndex AbsTreeItemModel::parent(const QModelIndex &index) const
{
    const _ItemNode *node = nodeOf(index);
    return node ? firstColumnIndex(node->parent) : QModelIndex();
}

int AbsTreeItemModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const _ItemNode *node = nodeOf(parent);
    return int(node ? node->children.size() : m_topLevel.size());
}

QModelIndex AbsTreeItemModel::indexOfNode(_ItemNode *node) const
{
    if (!node)
        return QModelIndex();
    if (node->row >= 0 && node->model == this)
        return createIndex(node->row, node->column, node);
    const QList<_ItemNode *> &siblings = node->parent ? node->parent->children : m_topLevel;
    const int row = int(siblings.indexOf(node));
    return row < 0 ? QModelIndex() : createIndex(row, 0, node);
}

QModelIndex AbsTreeItemModel::firstColumnIndex(_ItemNode *node) const
{
    if (!node)
        return QModelIndex();
    const QModelIndex cached = indexOfNode(node);
    return cached.isValid() ? cached.siblingAtColumn(0) : cached;
}

void AbsTreeItemModel::nodeChanged(_ItemNode *node)
{
    const QModelIndex first = firstColumnIndex(node);
    if (first.isValid())
        emit dataChanged(first, first.siblingAtColumn(columnCount(first.parent()) - 1));
}

QList<AbsTreeItemModel::_ItemNode *> &AbsTreeItemModel::siblingsOf(_ItemNode *parent)
{
    return parent ? parent->children : m_topLevel;
}

void AbsTreeItemModel::renumber(QList<_ItemNode *> &siblings, int from)
{
    for (int i = from; i < siblings.size(); ++i) {
        if (siblings[i]->row >= 0)
            siblings[i]->row = i;
    }
}

void AbsTreeItemModel::removeAllChildren(_ItemNode *node)
{
    QList<_ItemNode *> &children = siblingsOf(node);
    if (children.isEmpty())
        return;
    beginRemoveRows(firstColumnIndex(node), 0, int(children.size()) - 1);
    const QList<_ItemNode *> doomed = children;
    children.clear();
    qDeleteAll(doomed);
    endRemoveRows();
}

void AbsTreeItemModel::removeNode(_ItemNode *node)
{
    if (!node)
        return;
    removeAllChildren(node);
    QList<_ItemNode *> &siblings = siblingsOf(node->parent);
    const int row = int(siblings.indexOf(node));
    if (row < 0)
        return;
    beginRemoveRows(firstColumnIndex(node->parent), row, row);
    siblings.removeAt(row);
    renumber(siblings, row);
    endRemoveRows();
    delete node;
}

void AbsTreeItemModel::insertNode(_ItemNode *parent, int position, _ItemNode *node)
{
    QList<_ItemNode *> &siblings = siblingsOf(parent);
    position = qBound(0, position, int(siblings.size()));
    beginInsertRows(firstColumnIndex(parent), position, position);
    node->parent = parent;
    node->model = this;
    siblings.insert(position, node);
    renumber(siblings, position + 1);
    endInsertRows();
}

void AbsTreeItemModel::appendNode(_ItemNode *parent, _ItemNode *node)
{
    insertNode(parent, int(siblingsOf(parent).size()), node);
}

QList<AbsTreeItemModel::_ItemNode *> AbsTreeItemModel::allNodes() const
{
    QList<_ItemNode *> nodes;
    // Explicit stack: pre-order without recursion.
    QList<_ItemNode *> pending(m_topLevel.crbegin(), m_topLevel.crend());
    while (!pending.isEmpty()) {
        _ItemNode *node = pending.takeLast();
        nodes.append(node);
        for (auto it = node->children.crbegin(); it != node->children.crend(); ++it)
            pending.append(*it);
    }
    return nodes;
}

int AbsTreeItemModel::countChildrenOfType(const _ItemNode *node, int type) const
{
    const QList<_ItemNode *> &children = node ? node->children : m_topLevel;
    return int(std::count_if(children.cbegin(), children.cend(), [type](const _ItemNode *c) { return c->type == type; }));
}

void AbsTreeItemModel::emitLayoutChanged()
{
    emit layoutChanged();
}
