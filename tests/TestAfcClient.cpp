// The AFC client and app containers against simulated iPhones: what the program sends
// (checked in the phone's received log) and what it makes of good, odd and hostile answers.

#include "TestEnv.h"
#include "TestFiles.h"
#include "ThrownText.h"
#include "WireBytes.h"

#include "PhoneLog.h"
#include "SimulatedPhones.h"
#include "device/AfcClient.h"
#include "device/AfcFile.h"
#include "simiphone/AfcPacket.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kHostileUdid = QStringLiteral("00008030-00BADBADBADBAD00");
const QString kKik = QStringLiteral("com.kik.chat");
const QString kAfc = QStringLiteral("com.apple.afc");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A phone whose AFC answers are made up: names that step out of their folder, a read answer
// far longer than asked for, a time that is no number.
void serveHostileAfc(ServiceContext &context)
{
    AfcPacket request;
    while (AfcPacket::read(context.stream, &request) == AfcPacket::Read) {
        const quint64 number = request.packetNumber;
        QByteArray answer;
        switch (request.operation) {
        case AfcReadDirectory:
            answer = AfcPacket::encode(AfcData, number, {}, bytes(".\0..\0../../etc\0a/b\0\0..\0ok.txt\0sub\0"));
            break;
        case AfcGetFileInfo: {
            const QByteArray path = request.textAt(0);
            if (path == "/x/ok.txt")
                answer = AfcPacket::encode(AfcData, number, {}, bytes("st_size\0-5\0st_ifmt\0S_IFREG\0st_mtime\0soon\0"));
            else if (path == "/x/sub" || path == "/x")
                answer = AfcPacket::encode(AfcData, number, {}, bytes("st_ifmt\0S_IFDIR\0"));
            else
                answer = AfcPacket::encode(AfcStatus, number, le64(AfcObjectNotFound));
            break;
        }
        case AfcFileOpen:
            answer = AfcPacket::encode(AfcFileOpenResult, number, le64(7));
            break;
        case AfcFileRead:
            answer = AfcPacket::encode(AfcData, number, {}, QByteArray(100000, 'z'));
            break;
        default:
            answer = AfcPacket::encode(AfcStatus, number, le64(0));
        }
        if (!context.stream.write(answer))
            return;
    }
}

}   // namespace

class TestAfcClient : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    SimPhoneFolder phone{QString()};

    MobileDeviceHandle *device(const QString &udid = kUdid) { return MobileDeviceHandle::attach(udid); }
    QList<QJsonObject> afcRequests(const QString &name, const QString &service = kAfc)
    {
        return PhoneLog::entries(phone, {{"service", service}, {"kind", "afc"}, {"name", name}});
    }

private slots:
    void initTestCase()
    {
        phone = sim.add(PhoneSetup(kUdid, PhoneKik::Development)).folder;
        PhoneSetup hostile(kHostileUdid);
        hostile.afc = serveHostileAfc;
        sim.add(hostile);
        sim.start();

        writeFileBytes(phone.mediaPath() + "/DCIM/100APPLE/IMG_0001.JPG", QByteArray(1234, 'j'));
        writeFileBytes(phone.mediaPath() + "/notes.txt", "hello");
        writeFileBytes(phone.mediaPath() + "/empty.bin", {});
        QDir().mkpath(phone.mediaPath() + "/Nothing");
        QDir().mkpath(phone.mediaPath() + "/Tmp");
        writeFileBytes(phone.containerPath(kKik) + "/Documents/kik.sqlite", "SQLite format 3");
    }

    void init()
    {
        phone.setFaults({});
        phone.clearReceived();
    }

    void listingsOfTheMediaArea()
    {
        AfcClient client(device());
        client.open();
        QVERIFY(client.isOpen());
        QCOMPARE(client.listDirectory("/"), (QStringList{".", "..", "DCIM", "Nothing", "Tmp", "empty.bin", "notes.txt"}));

        QList<AfcFileInfo> entries = client.listEntries("/");
        QStringList paths;
        for (const AfcFileInfo &entry : entries)
            paths << entry.path + (entry.isDir() ? "/" : "");
        QCOMPARE(paths, (QStringList{"/DCIM/", "/Nothing/", "/Tmp/", "/empty.bin", "/notes.txt"}));
        QCOMPARE(client.listEntries("/DCIM/100APPLE").value(0).path, QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"));
        QCOMPARE(client.listEntries("/DCIM/100APPLE").value(0).size, 1234);

        // Only "." and "..": nothing to list.
        QCOMPARE(client.listDirectory("/Nothing"), (QStringList{".", ".."}));
        QVERIFY(client.listEntries("/Nothing").isEmpty());
        QVERIFY(client.listEntries("/no/such/folder").isEmpty());
        QVERIFY(client.isOpen());   // a refused request leaves the channel usable
    }

    void fileInfoTimesAreNanosecondsSince1970()
    {
        const QString path = phone.mediaPath() + "/notes.txt";
        const timespec times[2] = {{1614834367, 0}, {1614834367, 123456789}};   // 2021-03-04 05:06:07.123456789 UTC
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);

        AfcClient client(device());
        client.open();
        const AfcFileInfo info = client.fileInfo("/notes.txt");
        QCOMPARE(info.path, QStringLiteral("/notes.txt"));
        QCOMPARE(info.size, 5);
        QVERIFY(info.isFile());
        QCOMPARE(info.modified.toMSecsSinceEpoch(), Q_INT64_C(1614834367123));

        QVERIFY(client.fileInfo("/DCIM").isDir());
        const AfcFileInfo missing = client.fileInfo("/missing.txt");
        QCOMPARE(missing.path, QStringLiteral("/missing.txt"));
        QVERIFY(!missing.exists());
        QVERIFY(!missing.modified.isValid());

        // Only the phone's "no such file" means absent; any other error is one.
        phone.setFaults(PhoneLog::answerFault(kAfc, AfcGetFileInfo, "Status", {{"Code", 10}}));
        QCOMPARE(thrownText([&] { client.fileInfo("/notes.txt"); }),
                 QStringLiteral("can not read the details of /notes.txt on the iPhone (AFC status 10)."));
        QVERIFY(!thrownText([&] { client.listEntriesThrow("/"); }).isEmpty());
        phone.setFaults({});
    }

    void readsGoIn64KiBRequestsAndAZeroReadSendsNothing()
    {
        QByteArray content(150000, '\0');
        for (int i = 0; i < content.size(); ++i)
            content[i] = char(i * 7);
        writeFileBytes(phone.mediaPath() + "/big.bin", content);

        AfcClient client(device());
        client.open();
        AfcFile file;
        QVERIFY(client.openRead("/big.bin", &file));
        QVERIFY(file.isOpen());
        char none = 0;
        QCOMPARE(file.read(&none, 0), 0);
        QVERIFY(afcRequests("FileRead").isEmpty());

        QByteArray buffer(200000, '\0');
        QCOMPARE(file.read(buffer.data(), 150000), 150000);
        QCOMPARE(buffer.left(150000), content);
        QList<double> asked;
        for (const QJsonObject &entry : afcRequests("FileRead"))
            asked << entry.value("length").toDouble();
        QCOMPARE(asked, (QList<double>{65536, 65536, 18928}));
        QCOMPARE(file.read(buffer.data(), 10), 0);   // at the end

        // An empty file: one request, nothing read.
        phone.clearReceived();
        AfcFile empty;
        QVERIFY(client.openRead("/empty.bin", &empty));
        QCOMPARE(empty.read(buffer.data(), 4096), 0);
        QCOMPARE(afcRequests("FileRead").size(), 1);

        AfcFile missing;
        QVERIFY(!client.openRead("/missing.bin", &missing));
        QVERIFY(!missing.isOpen());
    }

    void writesGoIn32KiBBlocksEachAcknowledged()
    {
        QByteArray content(70000, '\0');
        for (int i = 0; i < content.size(); ++i)
            content[i] = char(i % 251);
        AfcClient client(device());
        client.open();
        {
            AfcFile file;
            QVERIFY(client.openWrite("/Tmp/upload.bin", &file));
            QCOMPARE(file.write(content.constData(), int(content.size())), 70000);
        }
        QCOMPARE(readFile(phone.mediaPath() + "/Tmp/upload.bin"), content);

        const QList<QJsonObject> writes = afcRequests("FileWrite");
        QCOMPARE(writes.size(), 3);
        const double blocks[] = {32768, 32768, 4464};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(writes[i].value("dataLength").toDouble(), blocks[i]);
            QCOMPARE(writes[i].value("thisLength").toDouble(), 48.0);
            QCOMPARE(writes[i].value("entireLength").toDouble(), 48 + blocks[i]);
            QCOMPARE(writes[i].value("status").toDouble(), 0.0);   // each answered before the next
            QCOMPARE(writes[i].value("packetNumber").toDouble(), double(client.socket()));
        }
        QCOMPARE(afcRequests("FileClose").size(), 1);   // the file closed itself

        // Opening for writing truncates.
        AfcFile again;
        QVERIFY(client.openWrite("/Tmp/upload.bin", &again));
        QCOMPARE(again.write("abc", 3), 3);
        again.close();
        QCOMPARE(readFile(phone.mediaPath() + "/Tmp/upload.bin"), QByteArray("abc"));
    }

    void foldersAreMadeRenamedAndRemoved()
    {
        AfcClient client(device());
        client.open();
        QVERIFY(client.makeDir("/Tmp/a/b"));
        QVERIFY(QFileInfo(phone.mediaPath() + "/Tmp/a/b").isDir());
        QVERIFY(client.rename("/Tmp/a/b", "/Tmp/a/c"));
        QVERIFY(QFileInfo(phone.mediaPath() + "/Tmp/a/c").isDir());
        QVERIFY(client.remove("/Tmp/a/c"));
        QVERIFY(!client.remove("/Tmp/a/c"));
        QVERIFY(!QFileInfo::exists(phone.mediaPath() + "/Tmp/a/c"));
        QVERIFY(!client.rename("/Tmp/none", "/Tmp/other"));
        // The phone keeps the client inside its area.
        QVERIFY(!client.makeDir("/../outside"));
    }

    void appContainerIsVendedThenSpokenToOverAfc()
    {
        AfcClient client(device());
        client.open(kKik);
        const QList<AfcFileInfo> documents = client.listEntries("/Documents");
        QCOMPARE(documents.size(), 1);
        QCOMPARE(documents[0].path, QStringLiteral("/Documents/kik.sqlite"));
        QCOMPARE(documents[0].size, 15);

        const QList<QJsonObject> vend =
            PhoneLog::entries(phone, {{"service", "com.apple.mobile.house_arrest"}, {"kind", "plist"}});
        QCOMPARE(vend.size(), 1);
        QCOMPARE(vend[0].value("request").toObject(), (QJsonObject{{"Command", "VendContainer"}, {"Identifier", kKik}}));
        QVERIFY(!afcRequests("ReadDirectory", "com.apple.mobile.house_arrest").isEmpty());
    }

    void containersThatCannotBeHadShowThePhonesAnswer_data()
    {
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<QVariantMap>("faults");
        QTest::addColumn<QString>("error");   // the Error the phone answers; empty: no dictionary
        QTest::newRow("not installed") << "com.example.none" << QVariantMap{} << "ApplicationLookupFailed";
        QTest::newRow("refused") << kKik << QVariantMap{{"ContainerRefused", true}} << "InstallationLookupFailed";
        QTest::newRow("empty answer") << kKik
                                      << PhoneLog::answerFault("com.apple.mobile.house_arrest", "VendContainer", "ZeroLength")
                                      << QString();
        QTest::newRow("no property list") << kKik
                                          << PhoneLog::answerFault("com.apple.mobile.house_arrest", "VendContainer",
                                                                   "MalformedPlist")
                                          << QString();
    }

    void containersThatCannotBeHadShowThePhonesAnswer()
    {
        QFETCH(QString, bundle);
        QFETCH(QVariantMap, faults);
        QFETCH(QString, error);
        phone.setFaults(faults);
        AfcClient client(device());
        const QString text = thrownText([&] { client.open(bundle); });
        QVERIFY(!client.isOpen());
        const QString prefix = QStringLiteral("can not find %1.\n").arg(bundle);
        QVERIFY2(text.startsWith(prefix), qPrintable(text));
        const QString shown = text.mid(prefix.size());
        if (!error.isEmpty()) {
            QVERIFY(shown.startsWith("<?xml"));
            QVERIFY2(shown.contains("<key>Error</key>"), qPrintable(shown));
            QVERIFY(shown.contains(error));
        }
    }

    void spoiledAnswersEndInTheProtocolsTexts_data()
    {
        QTest::addColumn<QVariantMap>("rule");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("stillOpen");
        const auto listing = [](const char *fault, const QVariantMap &settings = {}) {
            return PhoneLog::answerFault(kAfc, AfcReadDirectory, fault, settings);
        };
        QTest::newRow("closed in the header") << listing("CloseAfter") << "read AFC header failed." << false;
        QTest::newRow("bad magic") << listing("BadMagic") << "read AFC header failed." << false;
        QTest::newRow("huge length") << listing("HugeLength") << "read AFC file block data failed." << false;
        QTest::newRow("truncated") << listing("Truncated", {{"Bytes", 3}}) << "read AFC file block data failed." << false;
        QTest::newRow("unknown operation") << listing("UnknownOperation")
                                           << "read AFC failed, Unknown operation code received 153, param1=" << true;
        QTest::newRow("status") << listing(
            "Status") << "read AFC failed, received AFC_OP_STATUS, param1=20: the iPhone reported a read or write error."
                                << true;
    }

    void spoiledAnswersEndInTheProtocolsTexts()
    {
        QFETCH(QVariantMap, rule);
        QFETCH(QString, expected);
        QFETCH(bool, stillOpen);
        phone.setFaults(rule);
        AfcClient client(device());
        client.open();
        const QString text = thrownText([&] { client.listEntriesThrow("/"); });
        QVERIFY2(text.startsWith(expected), qPrintable(text));
        QVERIFY(client.listEntries("/").isEmpty());
        // A packet cut short leaves the stream out of step: the channel is closed, and every
        // later request fails at once instead of misreading.
        QCOMPARE(client.isOpen(), stillOpen);
        phone.setFaults({});
        if (stillOpen)
            QVERIFY(client.fileInfo("/notes.txt").exists());
        else
            QVERIFY(!thrownText([&] { client.fileInfo("/notes.txt"); }).isEmpty());
    }

    void failingReadsAndWritesReportMinusOne()
    {
        AfcClient client(device());
        client.open();
        AfcFile file;
        QVERIFY(client.openRead("/notes.txt", &file));
        phone.setFaults(PhoneLog::answerFault(kAfc, AfcFileRead, "Status"));
        char buffer[16];
        QCOMPARE(file.read(buffer, 16), -1);

        AfcFile output;
        phone.setFaults({});
        QVERIFY(client.openWrite("/Tmp/fail.bin", &output));
        phone.setFaults(PhoneLog::answerFault(kAfc, AfcFileWrite, "Status", {{"Code", 18}}));
        QCOMPARE(output.write("data", 4), -1);

        // Files of a closed client fail without touching the socket it had.
        phone.setFaults({});
        QVERIFY(client.openRead("/notes.txt", &file));
        client.close();
        client.close();
        QCOMPARE(file.read(buffer, 16), -1);
        QVERIFY(!client.makeDir("/Tmp/late"));
        QVERIFY(!QFileInfo::exists(phone.mediaPath() + "/Tmp/late"));
    }

    void namesFromAHostilePhoneStayInsideTheirFolder()
    {
        AfcClient client(device(kHostileUdid));
        client.open();
        QCOMPARE(client.listDirectory("/x"), (QStringList{".", "..", "../../etc", "a/b", "..", "ok.txt", "sub"}));
        const QList<AfcFileInfo> entries = client.listEntries("/x");
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].path, QStringLiteral("/x/ok.txt"));
        QCOMPARE(entries[0].size, 0);              // "-5" is no size
        QVERIFY(!entries[0].modified.isValid());   // "soon" is no time
        QCOMPARE(entries[1].path, QStringLiteral("/x/sub"));

        // A read answer longer than asked for never runs past the caller's buffer.
        AfcFile file;
        QVERIFY(client.openRead("/x/ok.txt", &file));
        QByteArray buffer(64, 'b');
        QCOMPARE(file.read(buffer.data(), 16), 16);
        QCOMPARE(buffer, QByteArray(16, 'z') + QByteArray(48, 'b'));
    }
};

QTEST_GUILESS_MAIN(TestAfcClient)
#include "TestAfcClient.moc"
