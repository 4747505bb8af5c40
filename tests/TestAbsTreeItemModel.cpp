#include "TestEnv.h"

#include "views/AbsTreeItemModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace {

// The smallest concrete model: one column showing each node's text.
class TextTreeModel : public AbsTreeItemModel
{
public:
    int columnCount(const QModelIndex & = QModelIndex()) const override { return 2; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const ItemNode *node = nodeOf(index);
        return node && role == Qt::DisplayRole ? QVariant(node->text) : QVariant();
    }
    ItemNode *add(ItemNode *parent, const QString &text, int type = 0, int position = -1)
    {
        auto *node = new ItemNode(type, text);
        if (position < 0)
            appendNode(parent, node);
        else
            insertNode(parent, position, node);
        return node;
    }
};

QStringList texts(const QList<AbsTreeItemModel::ItemNode *> &nodes)
{
    QStringList out;
    for (const auto *node : nodes)
        out.append(node->text);
    return out;
}

}   // namespace

class TestAbsTreeItemModel : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void indexesParentsAndCounts()
    {
        TextTreeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto *devices = model.add(nullptr, QStringLiteral("Devices"), 1);
        auto *phone = model.add(devices, QStringLiteral("phone"), 3);
        model.add(phone, QStringLiteral("chat a"), 6);
        model.add(phone, QStringLiteral("chat b"), 6);
        model.add(nullptr, QStringLiteral("Local Databases"), 2);

        QCOMPARE(model.rowCount(), 2);
        const QModelIndex phoneIndex = model.index(0, 0, model.index(0, 0));
        QCOMPARE(AbsTreeItemModel::nodeOf(phoneIndex), phone);
        QCOMPARE(model.rowCount(phoneIndex), 2);
        const QModelIndex chatB = model.index(1, 1, phoneIndex);
        QCOMPARE(chatB.data().toString(), QStringLiteral("chat b"));
        QCOMPARE(model.parent(chatB), phoneIndex);
        QVERIFY(!model.parent(model.index(1, 0)).isValid());
        QVERIFY(!model.index(2, 0, phoneIndex).isValid());
        QVERIFY(!model.index(0, 2, phoneIndex).isValid());
        QCOMPARE(model.countChildrenOfType(phone, 6), 2);
        QCOMPARE(model.countChildrenOfType(nullptr, 2), 1);
        QCOMPARE(texts(model.allNodes()), (QStringList{"Devices", "phone", "chat a", "chat b", "Local Databases"}));
    }

    void insertingKeepsHandedOutRowsTrue()
    {
        TextTreeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto *b = model.add(nullptr, QStringLiteral("b"));
        auto *c = model.add(nullptr, QStringLiteral("c"));
        QCOMPARE(model.index(1, 0).internalPointer(), c);   // c's row is now cached
        auto *a = model.add(nullptr, QStringLiteral("a"), 0, 0);
        QCOMPARE(model.indexOfNode(c).row(), 2);
        QCOMPARE(model.indexOfNode(c).data().toString(), QStringLiteral("c"));
        QCOMPARE(model.indexOfNode(a).row(), 0);
        QCOMPARE(model.indexOfNode(b).row(), 1);

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        c->text = QStringLiteral("c2");
        model.nodeChanged(c);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 2);
        QCOMPARE(changed.first().at(1).toModelIndex().column(), 1);

        model.removeNode(b);
        QCOMPARE(model.indexOfNode(c).row(), 1);
        QCOMPARE(texts(model.allNodes()), (QStringList{"a", "c2"}));
    }

    void removingChildrenAndNodes()
    {
        TextTreeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto *root = model.add(nullptr, QStringLiteral("root"));
        auto *db = model.add(root, QStringLiteral("db"));
        model.add(db, QStringLiteral("chat 1"));
        model.add(db, QStringLiteral("chat 2"));
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        model.removeAllChildren(db);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.first().at(1).toInt(), 0);
        QCOMPARE(removed.first().at(2).toInt(), 1);
        model.removeAllChildren(db);   // nothing left: no signal
        QCOMPARE(removed.size(), 1);
        model.removeNode(db);
        QCOMPARE(model.rowCount(model.indexOfNode(root)), 0);
        QCOMPARE(texts(model.allNodes()), QStringList{"root"});
    }
};

QTEST_MAIN(TestAbsTreeItemModel)
#include "TestAbsTreeItemModel.moc"
