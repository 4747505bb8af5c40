#include "TestEnv.h"

#include "kik/KikUidTable.h"

#include <QtTest>

#include <deque>

namespace {

// Messages with these uids, in this order; the records live as long as the object.
struct Sequence
{
    explicit Sequence(const QStringList &uids)
    {
        for (const QString &uid : uids) {
            records.emplace_back();
            records.back().uid = uid;
            list.append(&records.back());
        }
    }

    std::deque<KikMessage> records;
    KikMessageList list;
};

// The id each message gets when new ones are numbered 100, 101, ... in the order met.
QList<qint64> ids(KikUidTable &table, qsizetype count)
{
    QList<qint64> result;
    qint64 next = 100;
    for (qsizetype i = 0; i < count; ++i)
        result << table.idOf(i, [&] { return next++; });
    return result;
}

}

class TestKikUidTable : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void aUidKeepsTheIdOfItsFirstMessage()
    {
        // An empty and a missing uid are the same text to the database.
        const Sequence sequence({"a", "b", "a", "c", "b", "a", "", QString(), "A"});
        KikUidTable table(sequence.list);
        QCOMPARE(ids(table, 9), (QList<qint64>{100, 101, 100, 102, 101, 100, 103, 103, 104}));
        // Only the messages asked about are met.
        const Sequence skipping({"x", "y", "x"});
        KikUidTable partial(skipping.list);
        QCOMPARE(partial.idOf(2, [] { return qint64(7); }), 7);
        QCOMPARE(partial.idOf(0, [] { return qint64(8); }), 7);
    }

    void onlyAUidNoOtherRecordCarriesNamesAMessage()
    {
        Sequence sequence({"a", "b", "a", "", QString(), "c"});
        sequence.list.append(sequence.list.at(5));   // the same record again
        const KikUidTable table(sequence.list);
        QList<bool> names;
        for (qsizetype i = 0; i < sequence.list.size(); ++i)
            names << table.namesOneMessage(i);
        QCOMPARE(names, (QList<bool>{false, true, false, false, false, true, true}));
    }

    void uidsAreComparedAsTheDatabaseStoresThem()
    {
        // A lone surrogate has no UTF-8 form and is stored as a replacement: uids that come out
        // the same are one uid to the database, whatever they were before.
        const QString broken = QStringLiteral("x") + QChar(0xD800);
        const QString alsoBroken = QStringLiteral("x") + QChar(0xDC00);
        const QString stored = QString::fromUtf8(broken.toUtf8());
        QCOMPARE(alsoBroken.toUtf8(), broken.toUtf8());
        const Sequence sequence({broken, "x", alsoBroken, stored, QStringLiteral("x") + QChar(0xD83D) + QChar(0xDE00)});
        KikUidTable table(sequence.list);
        QCOMPARE(ids(table, 5), (QList<qint64>{100, 101, 100, 100, 102}));
    }

    void manyUidsAndOneUidMany()
    {
        // Far more uids than a probe run, and a hostile store giving every message one uid.
        QStringList uids;
        for (int i = 0; i < 100000; ++i)
            uids << QString::number(i % 50000, 36);
        for (int i = 0; i < 100000; ++i)
            uids << QStringLiteral("same");
        const Sequence sequence(uids);
        KikUidTable table(sequence.list);
        const QList<qint64> got = ids(table, sequence.list.size());
        QCOMPARE(got.at(49999), 100 + 49999);
        QCOMPARE(got.at(50000), 100);
        QCOMPARE(got.at(99999), 100 + 49999);
        QCOMPARE(got.at(100000), 100 + 50000);
        QCOMPARE(got.last(), 100 + 50000);
    }
};

QTEST_GUILESS_MAIN(TestKikUidTable)
#include "TestKikUidTable.moc"
