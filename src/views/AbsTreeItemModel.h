#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QString>

// A generic tree model over owned _ItemNode objects. Subclasses give columnCount and data.
class AbsTreeItemModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    class _ItemNode
    {
    public:
        explicit _ItemNode(int nodeType = 0, const QString &nodeText = QString());
        virtual ~_ItemNode();   // deletes the children
        _ItemNode(const _ItemNode &) = delete;
        _ItemNode &operator=(const _ItemNode &) = delete;

        int type;
        QString text;
        // The node's place as last handed out in a model index; row -1 until then.
        int row = -1;
        int column = -1;
        const AbsTreeItemModel *model = nullptr;
        _ItemNode *parent = nullptr;   // null at the top level
        QList<_ItemNode *> children;
    };

    explicit AbsTreeItemModel(QObject *parent = nullptr);
    ~AbsTreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;

    static _ItemNode *nodeOf(const QModelIndex &index);
    const QList<_ItemNode *> &topLevelNodes() const { return m_topLevel; }

    QModelIndex indexOfNode(_ItemNode *node) const;
    void nodeChanged(_ItemNode *node);
    void removeAllChildren(_ItemNode *node);
    void removeNode(_ItemNode *node);
    QList<_ItemNode *> allNodes() const;   // pre-order
    int countChildrenOfType(const _ItemNode *node, int type) const;
    void emitLayoutChanged();

protected:
    // Takes the node and shows it as row position under parent (the top level for null).
    void insertNode(_ItemNode *parent, int position, _ItemNode *node);
    void appendNode(_ItemNode *parent, _ItemNode *node);

private:
    QList<_ItemNode *> &siblingsOf(_ItemNode *parent);
    QModelIndex firstColumnIndex(_ItemNode *node) const;   // invalid for null (the top level)
    // Rows handed out before an insertion or removal would point at other nodes afterwards.
    static void renumber(QList<_ItemNode *> &siblings, int from);

    QList<_ItemNode *> m_topLevel;
};
