#include "TestEnv.h"

#include "plist/BinaryPlistView.h"
#include "plist/CFType.h"

#include <QtTest>

namespace {

// A list of `objects` (each given whole, marker included) whose root is object 0, with one-byte
// offsets and references.
QByteArray binaryList(const QList<QByteArray> &objects, quint8 root = 0)
{
    QByteArray out("bplist00");
    QByteArray table;
    for (const QByteArray &object : objects) {
        table.append(char(out.size()));
        out.append(object);
    }
    const qsizetype tableAt = out.size();
    out.append(table);
    QByteArray trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = char(objects.size());
    trailer[23] = char(root);
    trailer[31] = char(tableAt);
    return out + trailer;
}

}   // namespace

class TestBinaryPlistView : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void readsWhatTheParserWrites()
    {
        CFType dict = CFType::newDictionary();
        dict.setValue(QStringLiteral("big"), CFType::fromInt64(0x1122334455667788));
        dict.setValue(QStringLiteral("text"), CFType(QStringLiteral("Grüße")));   // stored as UTF-16
        dict.setValue(QStringLiteral("ref"), CFType::fromUid(300));
        dict.setValue(QStringLiteral("blob"), CFType(QByteArray(100, 'b')));   // a length past 14
        const QByteArray data = dict.toPlistData(CFType::BinaryFormat);
        const BinaryPlistView plist(data);
        QVERIFY(plist.isValid());
        const auto root = plist.object(plist.rootIndex());
        qint64 number = 0;
        QVERIFY(BinaryPlistView::number(plist.value(root, QLatin1StringView("big")), &number));
        QCOMPARE(number, qint64(0x1122334455667788));
        QCOMPARE(BinaryPlistView::text(plist.value(root, QLatin1StringView("text"))), QStringLiteral("Grüße"));
        QCOMPARE(BinaryPlistView::uid(plist.value(root, QLatin1StringView("ref"))), quint64(300));
        QCOMPARE(BinaryPlistView::bytes(plist.value(root, QLatin1StringView("blob"))).toByteArray(), QByteArray(100, 'b'));
        QCOMPARE(plist.value(root, QLatin1StringView("none")).kind, BinaryPlistView::Broken);
    }

    void brokenListsNeverReadOutside()
    {
        // A 16-byte integer counts by its low half, as the parser reads it.
        const QByteArray wideList =
            binaryList({QByteArray("\x14", 1) + QByteArray(8, '\xff') + QByteArray("\0\0\0\0\0\0\0\x2a", 8)});
        const BinaryPlistView wide(wideList);
        qint64 number = 0;
        QVERIFY(BinaryPlistView::number(wide.object(0), &number));
        QCOMPARE(number, qint64(42));

        for (const QByteArray &data : {QByteArray(), QByteArray("bplist00"), QByteArray("bplist01") + QByteArray(40, '\0'),
                                       binaryList({"\x50"}).left(40), binaryList({"\x50"}, 1)}) {
            QVERIFY(!BinaryPlistView(data).isValid());
        }
        // Lengths and references past the end, a length that is no integer, an offset into the trailer.
        const QByteArray data = binaryList({"\xA3\x01\x02\x09", "\x4F\x10\xff", "\x4F\x50", "\x6F\x13" + QByteArray(8, '\x7f'),
                                            "\x5C"
                                            "abc"});
        const BinaryPlistView plist(data);
        QVERIFY(plist.isValid());
        const auto array = plist.object(0);
        QCOMPARE(array.kind, BinaryPlistView::Array);
        QCOMPARE(plist.object(plist.reference(array, 2)).kind, BinaryPlistView::Broken);   // object 9
        QCOMPARE(plist.reference(array, 3), plist.objectCount());
        for (quint64 i = 1; i < plist.objectCount(); ++i)
            QCOMPARE(plist.object(i).kind, BinaryPlistView::Broken);
        QCOMPARE(plist.object(99).kind, BinaryPlistView::Broken);
    }

    void nestingCostsNothing()
    {
        // Ten thousand arrays, each holding the next: a parser recursing through it would run
        // out of stack; here only the objects asked for are looked at.
        constexpr int kDepth = 10000;
        QByteArray out("bplist00");
        QByteArray table;
        for (int i = 0; i < kDepth; ++i) {
            table.append(char(out.size() >> 16)).append(char(out.size() >> 8)).append(char(out.size()));
            out.append(i + 1 < kDepth ? QByteArray("\xA1", 1) + char((i + 1) >> 8) + char(i + 1) : QByteArray("\xA0", 1));
        }
        const qsizetype tableAt = out.size();
        out.append(table);
        QByteArray trailer(32, '\0');
        trailer[6] = 3;
        trailer[7] = 2;
        trailer[14] = char(kDepth >> 8);
        trailer[15] = char(kDepth);
        trailer[29] = char(tableAt >> 16);
        trailer[30] = char(tableAt >> 8);
        trailer[31] = char(tableAt);
        const QByteArray whole = out + trailer;
        const BinaryPlistView plist(whole);
        QVERIFY(plist.isValid());
        auto object = plist.object(plist.rootIndex());
        int depth = 1;
        while (BinaryPlistView::referenceCount(object) == 1) {
            object = plist.object(plist.reference(object, 0));
            ++depth;
        }
        QCOMPARE(depth, kDepth);
    }
};

QTEST_GUILESS_MAIN(TestBinaryPlistView)
#include "TestBinaryPlistView.moc"
