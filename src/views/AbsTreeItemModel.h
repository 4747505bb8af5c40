#pragma once

#include "views/Export.h"

#include <QAbstractItemModel>
#include <QList>
#include <QString>

// A generic tree model over owned ItemNode objects. Subclasses give columnCount and data.
class PARLEWICK_VIEWS_EXPORT AbsTreeItemModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    class ItemNode
    {
    public:
        explicit ItemNode(int nodeType = 0, const QString &nodeText = QString());
        virtual ~ItemNode();   // deletes the children
        ItemNode(const ItemNode &) = delete;
        ItemNode &operator=(const ItemNode &) = delete;

        int type;
        QString text;
        // The node's place as last handed out in a model index; row -1 until then.
        int row = -1;
        int column = -1;
        const AbsTreeItemModel *model = nullptr;
        ItemNode *parent = nullptr;   // null at the top level
        QList<ItemNode *> children;
    };

    explicit AbsTreeItemModel(QObject *parent = nullptr);
    ~AbsTreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;

    static ItemNode *nodeOf(const QModelIndex &index);
    const QList<ItemNode *> &topLevelNodes() const { return m_topLevel; }

    QModelIndex indexOfNode(ItemNode *node) const;
    void nodeChanged(ItemNode *node);
    void removeAllChildren(ItemNode *node);
    void removeNode(ItemNode *node);
    QList<ItemNode *> allNodes() const;   // pre-order
    int countChildrenOfType(const ItemNode *node, int type) const;
    void emitLayoutChanged();

protected:
    // Takes the node and shows it as row position under parent (the top level for null).
    void insertNode(ItemNode *parent, int position, ItemNode *node);
    void appendNode(ItemNode *parent, ItemNode *node);

private:
    QList<ItemNode *> &siblingsOf(ItemNode *parent);
    QModelIndex firstColumnIndex(ItemNode *node) const;   // invalid for null (the top level)
    // Rows handed out before an insertion or removal would point at other nodes afterwards.
    static void renumber(QList<ItemNode *> &siblings, int from);

    QList<ItemNode *> m_topLevel;
};
