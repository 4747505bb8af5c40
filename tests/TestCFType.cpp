#include "TestEnv.h"

#include "device/MobileDeviceFrameworks.h"
#include "plist/CFType.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTimeZone>
#include <QtTest>

#include <functional>

namespace {

QByteArray bigEndian(quint64 value, int size)
{
    QByteArray out;
    for (int i = size - 1; i >= 0; --i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

// A binary list from raw objects; object 0 is the root, references are 4 bytes wide.
QByteArray binaryList(const QList<QByteArray> &objects)
{
    QByteArray out("bplist00");
    QList<quint64> offsets;
    for (const QByteArray &object : objects) {
        offsets.append(quint64(out.size()));
        out += object;
    }
    const quint64 table = quint64(out.size());
    for (quint64 offset : offsets)
        out += bigEndian(offset, 4);
    out += QByteArray(6, '\0') + char(4) + char(4);
    out += bigEndian(quint64(objects.size()), 8) + bigEndian(0, 8) + bigEndian(table, 8);
    return out;
}

QByteArray arrayObject(const QList<quint64> &refs)
{
    QByteArray out(1, char(0xA0 | refs.size()));
    for (quint64 ref : refs)
        out += bigEndian(ref, 4);
    return out;
}

// A chain of arrays, each holding the next `width` times, ending in the integer 1.
QByteArray nestedArrays(int depth, int width)
{
    QList<QByteArray> objects;
    for (int i = 0; i < depth; ++i)
        objects.append(arrayObject(QList<quint64>(width, quint64(i + 1))));
    objects.append(QByteArray("\x10\x01", 2));
    return binaryList(objects);
}

QByteArray nestedXml(int depth)
{
    return "<plist>" + QByteArray("<array>").repeated(depth) + "<true/>" + QByteArray("</array>").repeated(depth) + "</plist>";
}

CFType sampleDictionary()
{
    CFType root = CFType::newDictionary();
    root.setValue(QStringLiteral("text"), CFType(QStringLiteral("Grüße ✓ \U0001F604")));
    root.setValue(QStringLiteral("empty text"), CFType(QString()));
    root.setValue(QStringLiteral("negative"), CFType::fromInt64(-5));
    root.setValue(QStringLiteral("min"), CFType::fromInt64(std::numeric_limits<qint64>::min()));
    root.setValue(QStringLiteral("large"), CFType::fromInt64(Q_INT64_C(1) << 40));
    root.setValue(QStringLiteral("real"), CFType::fromDouble(-2.5));
    root.setValue(QStringLiteral("yes"), CFType::fromBool(true));
    root.setValue(QStringLiteral("no"), CFType::fromBool(false));
    root.setValue(QStringLiteral("bytes"), CFType(QByteArray("a\0b", 3)));
    root.setValue(QStringLiteral("no bytes"), CFType(QByteArray()));
    root.setValue(QStringLiteral("when"), CFType::fromDateTime(QDateTime(QDate(2020, 5, 6), QTime(7, 8, 9))));
    CFType list = CFType::newArray();
    CFType inner = CFType::newDictionary();
    list.append(inner).append(CFType::newArray()).append(CFType("x"));
    inner.setValue(QStringLiteral("deep"), CFType::fromInt64(7));   // after insertion: shared
    root.setValue(QStringLiteral("list"), list);
    return root;
}

}   // namespace

class TestCFType : public QObject
{
    Q_OBJECT

private slots:
    void roundTripsEveryType_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("xml") << int(CFType::XmlFormat) << QByteArray("<?xml");
        QTest::newRow("binary") << int(CFType::BinaryFormat) << QByteArray("bplist00");
    }

    void roundTripsEveryType()
    {
        QFETCH(int, format);
        QFETCH(QByteArray, magic);
        const QByteArray bytes = sampleDictionary().toPlistData(format);
        QVERIFY(bytes.startsWith(magic));
        const CFType back = CFType::fromPlistData(bytes);
        QVERIFY(back.isDictionary());
        QCOMPARE(back.count(), 12);
        QCOMPARE(back.value(QStringLiteral("text")).toQString(), QStringLiteral("Grüße ✓ \U0001F604"));
        QCOMPARE(back.value(QStringLiteral("text")).stringLength(), 10);
        QVERIFY(back.value(QStringLiteral("empty text")).isString());
        QCOMPARE(back.value(QStringLiteral("negative")).toInt64(), -5);
        QCOMPARE(back.value(QStringLiteral("negative")).toInt(), -5);
        QCOMPARE(back.value(QStringLiteral("min")).toInt64(), std::numeric_limits<qint64>::min());
        QCOMPARE(back.value(QStringLiteral("large")).toInt64(), Q_INT64_C(1) << 40);
        QCOMPARE(back.value(QStringLiteral("real")).toDouble(), -2.5);
        QVERIFY(back.value(QStringLiteral("yes")).toBool());
        QVERIFY(!back.value(QStringLiteral("no")).toBool(true));
        QCOMPARE(back.value(QStringLiteral("bytes")).toByteArray(), QByteArray("a\0b", 3));
        QVERIFY(back.value(QStringLiteral("no bytes")).isData());
        QCOMPARE(back.value(QStringLiteral("no bytes")).dataLength(), 0);
        QCOMPARE(back.value(QStringLiteral("when")).toDateTime(), QDateTime(QDate(2020, 5, 6), QTime(7, 8, 9)));
        const CFType list = back.value(QStringLiteral("list"));
        QCOMPARE(list.count(), 3);
        QCOMPARE(list.at(0).value(QStringLiteral("deep")).toInt(), 7);
        QVERIFY(list.at(1).isArray());
        QCOMPARE(list.at(2).toQString(), QStringLiteral("x"));
        QStringList keys;
        for (const CFType &key : back.keys())
            keys << key.toQString();
        QCOMPARE(keys.first(), QStringLiteral("text"));
        QCOMPARE(keys.last(), QStringLiteral("list"));
        QCOMPARE(back.value(back.keys().first()).toQString(), back.value(QStringLiteral("text")).toQString());
    }

    void datesAreGmtFieldsWithoutConversion()
    {
        const QByteArray oldTz = qgetenv("TZ");
        qputenv("TZ", "Asia/Tokyo");
        tzset();
        const CFType date = CFType::fromPlistData("<plist version=\"1.0\"><date>2020-05-06T07:08:09Z</date></plist>");
        const QDateTime value = date.toDateTime();
        QCOMPARE(value.timeSpec(), Qt::LocalTime);
        QCOMPARE(value.date(), QDate(2020, 5, 6));
        QCOMPARE(value.time(), QTime(7, 8, 9));
        QVERIFY(CFType::fromDateTime(value).toPlistData().contains("2020-05-06T07:08:09Z"));
        qputenv("TZ", oldTz);
        tzset();

        // The fraction is cut towards the past, also before 2001.
        const QDateTime early(QDate(2000, 12, 31), QTime(23, 58, 20, 500));
        const CFType stored = CFType::fromPlistData(CFType::fromDateTime(early).toPlistData(CFType::BinaryFormat));
        QCOMPARE(stored.toDateTime(), QDateTime(QDate(2000, 12, 31), QTime(23, 58, 20)));
        QVERIFY(CFType::fromDateTime(QDateTime(QDate(2200, 1, 1), QTime(0, 0))).isNull());
        QVERIFY(CFType::fromDateTime(QDateTime()).isNull());
    }

    void numbersConvertLikeTheirNativeApi()
    {
        QCOMPARE(CFType::fromInt64((Q_INT64_C(1) << 32) + 5).toInt(), 5);   // lossy but kept
        QCOMPARE(CFType::fromDouble(3.9).toInt(), 3);
        QCOMPARE(CFType::fromDouble(-3.9).toInt64(), -3);
        QCOMPARE(CFType::fromDouble(1e30).toInt64(), std::numeric_limits<qint64>::max());
        QCOMPARE(CFType::fromInt64(42).toDouble(), 42.0);
        QVERIFY(CFType::fromInt64(1).toBool(true));   // a number is not a boolean: default
        QVERIFY(!CFType::fromInt64(1).toBool(false));
        QCOMPARE(CFType("12").toInt(9), 9);
        QVERIFY(!CFType::fromBool(true).isNumber());
    }

    void displayStrings()
    {
        QCOMPARE(CFType::fromInt64(3).toDisplayString(), QStringLiteral("3"));
        QCOMPARE(CFType::fromInt64(-Q_INT64_C(1099511627776)).toDisplayString(), QStringLiteral("-1099511627776"));
        QCOMPARE(CFType::fromDouble(0.1).toDisplayString(), QStringLiteral("0.1"));
        QCOMPARE(CFType::fromDouble(1234567.0).toDisplayString(), QStringLiteral("1.23457e+06"));
        QCOMPARE(CFType::fromBool(true).toDisplayString(), QStringLiteral("1"));
        QCOMPARE(CFType::fromBool(false).toDisplayString(), QStringLiteral("0"));
        QCOMPARE(CFType(QByteArray("h\xc3\xa9")).toDisplayString(), QStringLiteral("hé"));
        QCOMPARE(CFType::fromDateTime(QDateTime(QDate(2020, 5, 6), QTime(7, 8, 9))).toDisplayString(),
                 QStringLiteral("Wed May 6 07:08:09 2020"));
        QCOMPARE(CFType::newDictionary().toDisplayString(), QString());
    }

    void missingValuesAreNull()
    {
        const CFType dict = sampleDictionary();
        for (const CFType &missing : {dict.value(QStringLiteral("nope")), dict.at(0), dict.value(CFType::fromInt64(1)),
                                      dict.value(QStringLiteral("list")).at(3), dict.value(QStringLiteral("list")).at(-1),
                                      CFType::fromPlistData("junk")}) {
            QVERIFY(missing.isNull());
            QVERIFY(!missing.isNumber() && !missing.isBoolean() && !missing.isString() && !missing.isData() && !missing.isDate()
                    && !missing.isDictionary() && !missing.isArray() && !missing.isUid());
            QCOMPARE(missing.toQString(), QString());
            QCOMPARE(missing.toInt(7), 7);
            QCOMPARE(missing.count(), 0);
            QVERIFY(!missing.toDateTime().isValid());
            QCOMPARE(missing.toDisplayString(), QString());
            QVERIFY(missing.toPlistData().isEmpty());
        }
        CFType array = CFType::newArray();
        array.setValue(QStringLiteral("k"), CFType("v"));
        CFType::newDictionary().append(array);
        QCOMPARE(array.count(), 0);
    }

    void borrowedValuesOutliveTheirWrappers()
    {
        CFType deep;
        QList<CFType> keys;
        {
            const CFType parsed = CFType::fromPlistData(sampleDictionary().toPlistData(CFType::BinaryFormat));
            deep = parsed.value(QStringLiteral("list")).at(0).value(QStringLiteral("deep"));
            keys = parsed.keys();
        }
        QCOMPARE(deep.toInt(), 7);
        QCOMPARE(keys.first().toQString(), QStringLiteral("text"));
        QVERIFY(deep.toPlistData().contains("<integer>7</integer>"));
    }

    void insertingMovesOrCopies()
    {
        CFType child = CFType::newDictionary();
        CFType twin;
        {
            CFType parent = CFType::newDictionary();
            parent.setValue(QStringLiteral("a"), child);   // moved: later changes show
            parent.setValue(QStringLiteral("b"), child);   // already inside: a copy
            child.setValue(QStringLiteral("x"), CFType("1"));
            QCOMPARE(parent.value(QStringLiteral("a")).value(QStringLiteral("x")).toQString(), QStringLiteral("1"));
            QVERIFY(parent.value(QStringLiteral("b")).value(QStringLiteral("x")).isNull());
            parent.setValue(QStringLiteral("self"), parent);   // a copy, not a loop
            QCOMPARE(parent.value(QStringLiteral("self")).count(), 2);
            twin = parent.value(QStringLiteral("self"));
        }
        QCOMPARE(child.value(QStringLiteral("x")).toQString(), QStringLiteral("1"));
        child.setValue(QStringLiteral("y"), CFType("2"));
        QCOMPARE(child.count(), 2);
        QCOMPARE(twin.value(QStringLiteral("a")).count(), 1);   // copied before "y" came

        // A value the caller does not own always goes in as a copy.
        CFType owner = CFType("kept");
        CFType guest = CFType::wrap(owner.ref(), false);
        CFType array = CFType::newArray();
        array.append(guest);
        QVERIFY(array.at(0).ref() != owner.ref());
        QCOMPARE(array.at(0).toQString(), QStringLiteral("kept"));
    }

    void replacedEntriesStayReadable()
    {
        CFType dict = CFType::newDictionary();
        CFType mine("old");
        dict.setValue(QStringLiteral("k"), mine);
        CFType inner = CFType::newDictionary();
        inner.setValue(QStringLiteral("leaf"), CFType::fromInt64(3));
        dict.setValue(QStringLiteral("inner"), inner);
        const CFType borrowed = dict.value(QStringLiteral("k"));
        const CFType leaf = dict.value(QStringLiteral("inner")).value(QStringLiteral("leaf"));
        const CFType leafKey = dict.value(QStringLiteral("inner")).keys().first();

        dict.setValue(QStringLiteral("k"), CFType("new"));
        dict.setValue(QStringLiteral("inner"), CFType::fromInt64(0));
        QCOMPARE(dict.value(QStringLiteral("k")).toQString(), QStringLiteral("new"));
        QCOMPARE(mine.toQString(), QStringLiteral("old"));
        QCOMPARE(borrowed.toQString(), QStringLiteral("old"));
        QCOMPARE(leaf.toInt(), 3);
        QCOMPARE(leafKey.toQString(), QStringLiteral("leaf"));
        inner.setValue(QStringLiteral("more"), CFType("y"));   // detached from dict now
        QCOMPARE(dict.value(QStringLiteral("inner")).toInt(), 0);
        QCOMPARE(inner.count(), 2);
    }

    void copiesAndFiles()
    {
        const CFType original = sampleDictionary();
        CFType copy = CFType::deepCopy(original);
        copy.setValue(QStringLiteral("text"), CFType("changed"));
        QCOMPARE(original.value(QStringLiteral("text")).toQString(), QStringLiteral("Grüße ✓ \U0001F604"));

        const QString path = m_env.path(QStringLiteral("sample.plist"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(original.toPlistData(CFType::BinaryFormat));
        file.close();
        QCOMPARE(CFType::fromPlistFile(path).value(QStringLiteral("large")).toInt64(), Q_INT64_C(1) << 40);
        QVERIFY(CFType::fromPlistFile(m_env.path(QStringLiteral("absent.plist"))).isNull());
    }

    void keyedArchiveUids()
    {
        const CFType uid = CFType::fromPlistData(binaryList({QByteArray("\x80\x07", 2)}));
        QVERIFY(uid.isUid());
        QCOMPARE(uid.toUid(), quint64(7));
        QVERIFY(!uid.isNumber());
        QCOMPARE(CFType::fromInt64(7).toUid(9), quint64(9));
        const CFType made =
            CFType::fromPlistData(CFType::newArray().append(CFType::fromUid(300)).toPlistData(CFType::BinaryFormat));
        QVERIFY(made.at(0).isUid());
        QCOMPARE(made.at(0).toUid(), quint64(300));
    }

    // Structures that would exhaust the stack or the memory of the parser are refused.
    void hostileStructuresAreRefused()
    {
        QVERIFY(CFType::fromPlistData(nestedArrays(100, 1)).isArray());
        QVERIFY(CFType::fromPlistData(nestedArrays(200000, 1)).isNull());
        QVERIFY(CFType::fromPlistData(nestedArrays(12, 2)).isArray());   // sharing is legal
        QVERIFY(CFType::fromPlistData(nestedArrays(40, 2)).isNull());    // 2^40 nodes when expanded
        QVERIFY(CFType::fromPlistData(binaryList({arrayObject({1}), arrayObject({0})})).isNull());
        QVERIFY(CFType::fromPlistData(nestedXml(100)).isArray());
        QVERIFY(CFType::fromPlistData(nestedXml(1000000)).isNull());

        // Closing tags hidden where the parser sees no element do not close anything.
        for (const QByteArray &hidden :
             {QByteArray("<array><!--</array>-->"), QByteArray("<array><string><![CDATA[</array>]]></string>"),
              QByteArray("<array><?pi </array>?>"), QByteArray("<array><!DOCTYPE x [</array>]>"),
              QByteArray("<array x=\"</array>\">")}) {
            QVERIFY(CFType::fromPlistData("<plist>" + hidden.repeated(200000) + "</plist>").isNull());
            QVERIFY(CFType::fromPlistData("<plist>" + hidden.repeated(50) + "<true/>" + QByteArray("</array>").repeated(50)
                                          + "</plist>")
                        .isArray());
        }
        const QByteArray commented =
            "<?xml version=\"1.0\"?><!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"x.dtd\">"
            "<plist version=\"1.0\"><!-- <array> --><array><string><![CDATA[<dict>]]></string><array/></array></plist>";
        QCOMPARE(CFType::fromPlistData(commented).count(), 2);

        // The parser copies a text only up to a zero byte but keeps its whole length: reading
        // the string ran past the copy.
        const QByteArray zero(1, '\0');
        QVERIFY(CFType::fromPlistData("<plist><string>9E4F" + zero + "a0B4D2E7C95A3B6F8D10</string></plist>").isNull());
        QVERIFY(CFType::fromPlistData("<plist><dict><key>a" + zero + "bcdefgh</key><true/></dict></plist>").isNull());
        QCOMPARE(CFType::fromPlistData("<plist><string>abc</string></plist>\n" + zero).toQString(), QStringLiteral("abc"));
        const QByteArray dictionary = "\xD1" + bigEndian(1, 4) + bigEndian(2, 4);
        QVERIFY(CFType::fromPlistData(binaryList({dictionary,
                                                  "\x53"
                                                  "a" + zero
                                                      + "b",
                                                  "\x09"}))
                    .isNull());   // key
        QVERIFY(CFType::fromPlistData(binaryList({dictionary, "\x51k", "\x62" + zero + "a" + zero + zero})).isNull());
        QCOMPARE(CFType::fromPlistData(binaryList({dictionary, "\x51k", "\x62" + zero + "a" + zero + "b"}))
                     .value(QStringLiteral("k"))
                     .toQString(),
                 QStringLiteral("ab"));
    }

    void malformedInputNeverCrashes()
    {
        QRandomGenerator random(20240611);
        const QByteArray xml = sampleDictionary().toPlistData(CFType::XmlFormat);
        const QByteArray binary = sampleDictionary().toPlistData(CFType::BinaryFormat);
        for (qsizetype cut = 0; cut < binary.size(); ++cut)
            QVERIFY(CFType::fromPlistData(binary.left(cut)).isNull());
        for (qsizetype cut = 0; cut < xml.size(); cut += 7)
            CFType::fromPlistData(xml.left(cut));
        for (int i = 0; i < 400; ++i) {
            QByteArray mutated = (i % 2) ? binary : xml;
            for (int flips = 1 + int(random.bounded(4)); flips > 0; --flips)
                mutated[random.bounded(int(mutated.size()))] = char(random.bounded(256));
            CFType::fromPlistData(mutated).toPlistData(CFType::BinaryFormat);
            QByteArray noise(int(random.bounded(200)), '\0');
            for (char &c : noise)
                c = char(random.bounded(256));
            CFType::fromPlistData((i % 3 == 0 ? QByteArray("bplist00") : QByteArray()) + noise);
        }
    }

    void phoneLibraryLoads()
    {
        QString error;
        QVERIFY2(loadMobileDeviceFrameworks(&error), qPrintable(error));
        QVERIFY(frameworksLoaded());
        QVERIFY(resolveMD("idevice_get_device_list") != nullptr);
        QVERIFY(resolveMD("no_such_function_anywhere") == nullptr);
    }

private:
    TestEnv m_env;
};

QTEST_GUILESS_MAIN(TestCFType)
#include "TestCFType.moc"
