#include "TestEnv.h"
#include "db/TinyKv.h"

#include <QBuffer>
#include <QDateTime>
#include <QJsonValue>
#include <QtTest>

namespace {

// Accepts a fixed number of bytes, then refuses every write.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 budget)
        : m_budget(budget)
    {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 size) override
    {
        if (m_budget <= 0)
            return -1;
        const qint64 taken = qMin(size, m_budget);
        m_budget -= taken;
        return taken;
    }

private:
    qint64 m_budget;
};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray written(const QVariant &value)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!TinyKv::writeValue(buffer, value))
        return QByteArray();
    return buffer.data();
}

// A blob written in a known entry order; entryEnds[k] is the offset just after entry k,
// keyEnds[k] the offset just after its key.
struct OrderedBlob
{
    QByteArray bytes;
    QList<int> keyEnds;
    QList<int> entryEnds;
    QList<QPair<QString, QVariant>> entries;
};

OrderedBlob orderedBlob(const QList<QPair<QString, QVariant>> &entries)
{
    OrderedBlob blob;
    blob.entries = entries;
    QBuffer buffer(&blob.bytes);
    buffer.open(QIODevice::WriteOnly);
    buffer.write("tinykv");
    for (const auto &entry : entries) {
        TinyKv::writeText(buffer, entry.first);
        blob.keyEnds.append(int(buffer.pos()));
        TinyKv::writeValue(buffer, entry.second);
        blob.entryEnds.append(int(buffer.pos()));
    }
    return blob;
}

QVariant nestedLists(int depth)
{
    QVariant value = 1;
    for (int i = 0; i < depth; ++i)
        value = QVariantList{value};
    return value;
}

QVariantHash nestedHashes(int depth)
{
    QVariantHash hash{{"leaf", 1}};
    for (int i = 0; i < depth; ++i)
        hash = QVariantHash{{"in", hash}};
    return hash;
}

}

class TestTinyKv : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void exactBytes();
    void tagChoice_data();
    void tagChoice();
    void roundTrip();
    void readRules();
    void truncatedAtEveryCut();
    void hostileInput();
    void nestingDepth();
    void failingWrites();
};

void TestTinyKv::exactBytes()
{
    const QByteArray one = toTinyKv({{"a", 1}});
    QCOMPARE(one, QByteArray("tinykv") + hex("0100000061") + hex("6901000000"));
    QCOMPARE(one.size(), 16);

    QCOMPARE(written(true), hex("6901000000"));
    const QVariantHash boolBack = fromTinyKv(toTinyKv({{"b", true}}));
    QCOMPARE(boolBack.value("b").typeId(), int(QMetaType::Int));
    QCOMPARE(boolBack.value("b").toInt(), 1);

    QCOMPARE(written(QDateTime(QDate(2020, 5, 1), QTime(12, 0))), QByteArray("n"));
    const QVariantHash dateBack = fromTinyKv(toTinyKv({{"t", QDateTime::currentDateTimeUtc()}}));
    QVERIFY(dateBack.contains("t"));
    QVERIFY(!dateBack.value("t").isValid());

    // "[" + length 15 + (count 2, "s" "x", "i" 2)
    QCOMPARE(written(QVariantList{"x", 2}),
             QByteArray("[") + hex("0f000000") + hex("02000000") + "s" + hex("01000000") + "x" + "i" + hex("02000000"));

    QCOMPARE(written(qint64(0x0102030405060708)), QByteArray("l") + hex("0807060504030201"));
    QCOMPARE(written(1.0), QByteArray("d") + hex("000000000000f03f"));
    QCOMPARE(written(QByteArray("\x00\xff", 2)), QByteArray("v") + hex("0200000000ff"));
    QCOMPARE(written(QString::fromUtf8("é")), QByteArray("s") + hex("02000000c3a9"));
    QCOMPARE(written(QVariantHash()), QByteArray("{") + hex("06000000") + "tinykv");
    QCOMPARE(toTinyKv({}), QByteArray("tinykv"));
}

void TestTinyKv::tagChoice_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("expected");   // the whole encoding, or just its tag

    // Qt also lets strings and byte arrays convert to lists; they must keep their own tags.
    QTest::newRow("string") << QVariant(QString("ab")) << QByteArray("s") + hex("02000000") + "ab";
    QTest::newRow("empty string") << QVariant(QString()) << QByteArray("s") + hex("00000000");
    QTest::newRow("bytes") << QVariant(QByteArray("ab")) << QByteArray("v") + hex("02000000") + "ab";
    QTest::newRow("uint max") << QVariant(0xffffffffu) << QByteArray("i") + hex("ffffffff");
    QTest::newRow("negative int") << QVariant(-2) << QByteArray("i") + hex("feffffff");
    QTest::newRow("char") << QVariant(QChar(0x263a)) << QByteArray("i") + hex("3a260000");
    QTest::newRow("uint64") << QVariant(quint64(1) << 63) << QByteArray("l") + hex("0000000000000080");
    QTest::newRow("float") << QVariant(0.5f) << QByteArray("d") + hex("000000000000e03f");
    QTest::newRow("string list") << QVariant(QStringList{"a"}) << QByteArray("[");
    QTest::newRow("map") << QVariant(QVariantMap{{"k", 1}}) << QByteArray("{");
    QTest::newRow("invalid") << QVariant() << QByteArray("n");
    QTest::newRow("date") << QVariant(QDate(2020, 1, 1)) << QByteArray("n");
    QTest::newRow("json value") << QVariant(QJsonValue(5)) << QByteArray("n");
}

void TestTinyKv::tagChoice()
{
    QFETCH(QVariant, value);
    QFETCH(QByteArray, expected);
    const QByteArray bytes = written(value);
    if (expected.size() == 1)
        QCOMPARE(bytes.left(1), expected);
    else
        QCOMPARE(bytes, expected);
}

void TestTinyKv::roundTrip()
{
    QByteArray big(1 << 20, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);
    const QVariantHash inner{{"n", 3}, {QString::fromUtf8("ключ"), QString::fromUtf8("😀 é")}};
    const QVariantHash hash{
        {"int", -5},
        {"int64", qint64(-1) << 40},
        {"double", 3.25},
        {"text", QString::fromUtf8("naïve 中文 😀")},
        {"empty text", QString("")},
        {"bytes", QByteArray("\x00\x01\x02", 3)},
        {"empty bytes", QByteArray("")},
        {"big", big},
        {"list", QVariantList{1, "two", QVariantList{3.5}, inner}},
        {"empty list", QVariantList()},
        {"hash", inner},
        {"empty hash", QVariantHash()},
        {"", QString("empty key")},
    };
    const QVariantHash back = fromTinyKv(toTinyKv(hash));
    QCOMPARE(back, hash);
    QCOMPARE(back.value("int64").typeId(), int(QMetaType::LongLong));
    QCOMPARE(back.value("list").toList().at(3).typeId(), int(QMetaType::QVariantHash));

    // Other containers come back as the plain variant containers.
    const QVariantHash converted = fromTinyKv(toTinyKv({{"m", QVariantMap{{"k", 1}}}, {"s", QStringList{"a", "b"}}}));
    QCOMPARE(converted.value("m"), QVariant(QVariantHash{{"k", 1}}));
    QCOMPARE(converted.value("s"), QVariant(QVariantList{"a", "b"}));
}

void TestTinyKv::readRules()
{
    // A later key replaces an earlier one.
    const OrderedBlob twice = orderedBlob({{"a", 1}, {"a", 2}});
    QCOMPARE(fromTinyKv(twice.bytes), (QVariantHash{{"a", 2}}));

    // Only the magic is a valid empty hash; a wrong magic is a failure.
    QVariantHash hash{{"stale", 1}};
    QBuffer magicOnly;
    magicOnly.setData("tinykv");
    magicOnly.open(QIODevice::ReadOnly);
    QVERIFY(TinyKv::readHash(magicOnly, hash));
    QVERIFY(hash.isEmpty());
    QBuffer wrong;
    wrong.setData(QByteArray("tinyKV") + hex("0100000061") + hex("6901000000"));
    wrong.open(QIODevice::ReadOnly);
    QVERIFY(!TinyKv::readHash(wrong, hash));
    QVERIFY(fromTinyKv(wrong.data()).isEmpty());

    // A nested blob with a bad magic is an empty inner hash; the rest stays.
    QByteArray badInner = "tinykX" + hex("0100000061") + hex("6901000000");
    QByteArray outer =
        QByteArray("tinykv") + hex("0100000068") + "{" + hex("10000000") + badInner + hex("0100000062") + hex("6907000000");
    QCOMPARE(fromTinyKv(outer), (QVariantHash{{"h", QVariantHash()}, {"b", 7}}));

    // "n" leaves the target as it is.
    QBuffer nul;
    nul.setData("n");
    nul.open(QIODevice::ReadOnly);
    QVariant kept = 5;
    QVERIFY(TinyKv::readValue(nul, kept));
    QCOMPARE(kept, QVariant(5));

    // Counts below one are empty lists; an unknown tag fails.
    QCOMPARE(fromTinyKv(QByteArray("tinykv") + hex("010000006c") + "[" + hex("04000000") + hex("ffffffff")),
             (QVariantHash{{"l", QVariantList()}}));
    QCOMPARE(fromTinyKv(QByteArray("tinykv") + hex("010000006c") + "[" + hex("04000000") + hex("00000000")),
             (QVariantHash{{"l", QVariantList()}}));
    QVERIFY(fromTinyKv(QByteArray("tinykv") + hex("0100000061") + "x" + hex("01000000")).isEmpty());
}

void TestTinyKv::truncatedAtEveryCut()
{
    const OrderedBlob blob = orderedBlob({
        {"first", 1},
        {"list", QVariantList{"x", qint64(2), QVariantHash{{"k", 2.5}}}},
        {QString::fromUtf8("ü"), QByteArray("payload")},
        {"hash", QVariantHash{{"a", "b"}}},
        {"last", QString::fromUtf8("end")},
    });
    for (int cut = 0; cut <= blob.bytes.size(); ++cut) {
        QVariantHash expected;
        if (cut >= 6) {
            // Entries complete before the cut; a cut inside a key also stops cleanly,
            // a cut inside a value spoils everything.
            for (int k = 0; k < blob.entries.size(); ++k) {
                if (cut >= blob.entryEnds[k]) {
                    expected.insert(blob.entries[k].first, blob.entries[k].second);
                } else {
                    if (cut >= blob.keyEnds[k])
                        expected.clear();
                    break;
                }
            }
        }
        QCOMPARE(fromTinyKv(blob.bytes.left(cut)), expected);
    }
}

void TestTinyKv::hostileInput()
{
    const QByteArray key = QByteArray("tinykv") + hex("0100000061");
    // Lengths far beyond the data: fail without trying to hold them.
    QVERIFY(fromTinyKv(key + "v" + hex("ffffff7f") + "abc").isEmpty());
    QVERIFY(fromTinyKv(key + "s" + hex("ffffffff") + "abc").isEmpty());
    QVERIFY(fromTinyKv(key + "[" + hex("08000000") + hex("ffffff7f") + "n" + "n").isEmpty());
    QVERIFY(fromTinyKv(key + "{" + hex("ffffff7f") + "tinykv").isEmpty());
    // A key with an impossible length ends the blob cleanly.
    QCOMPARE(fromTinyKv(key + "i" + hex("01000000") + hex("ffffff7f") + "zz"), (QVariantHash{{"a", 1}}));

    QByteArray v;
    QBuffer shortBuffer;
    shortBuffer.setData(hex("ffffff7f") + "abc");
    shortBuffer.open(QIODevice::ReadOnly);
    QVERIFY(!TinyKv::readBytes(shortBuffer, v));
    qint64 wide = 0;
    QBuffer threeBytes;
    threeBytes.setData("abc");
    threeBytes.open(QIODevice::ReadOnly);
    QVERIFY(!TinyKv::readI64(threeBytes, wide));
}

void TestTinyKv::nestingDepth()
{
    // Realistic nesting round-trips.
    const QVariantHash deepHash = nestedHashes(40);
    QCOMPARE(fromTinyKv(toTinyKv(deepHash)), deepHash);
    const QVariantHash deepList{{"l", nestedLists(40)}};
    QCOMPARE(fromTinyKv(toTinyKv(deepList)), deepList);

    // Absurd nesting is refused when written and when read, never overflowing the stack.
    QVERIFY(toTinyKv(nestedHashes(500)).isNull());
    QVERIFY(toTinyKv({{"l", nestedLists(500)}}).isNull());
    QByteArray hostile = "n";
    for (int i = 0; i < 2000; ++i) {
        QByteArray level;
        QBuffer buffer(&level);
        buffer.open(QIODevice::WriteOnly);
        TinyKv::writeI32(buffer, 1);
        buffer.write(hostile);
        hostile.clear();
        QBuffer out(&hostile);
        out.open(QIODevice::WriteOnly);
        TinyKv::writeU8(out, '[');
        TinyKv::writeBytes(out, level);
    }
    QVERIFY(fromTinyKv(QByteArray("tinykv") + hex("0100000061") + hostile).isEmpty());
}

void TestTinyKv::failingWrites()
{
    const QVariantHash hash{{"list", QVariantList{1, "x"}}, {"h", QVariantHash{{"k", 2}}}, {"s", QString("text")}};
    const qint64 size = toTinyKv(hash).size();
    for (qint64 budget = 0; budget < size; ++budget) {
        FailingDevice device(budget);
        QVERIFY2(!TinyKv::writeHash(device, hash), qPrintable(QString::number(budget)));
    }
    FailingDevice enough(size);
    QVERIFY(TinyKv::writeHash(enough, hash));

    FailingDevice partial(2);
    QVERIFY(!TinyKv::writeI32(partial, 7));
    FailingDevice none(0);
    QVERIFY(!TinyKv::writeU8(none, 1));
    QVERIFY(!TinyKv::writeBytes(none, QByteArray()));
}

QTEST_GUILESS_MAIN(TestTinyKv)
#include "TestTinyKv.moc"
