// Copying files between a simulated iPhone and the computer: what is copied, what the cache
// spares, and that no cancel, failure or hostile name leaves a wrong file behind on either side.

#include "TestEnv.h"
#include "TestFiles.h"
#include "ThrownText.h"
#include "WireBytes.h"

#include "PhoneLog.h"
#include "RecordingProgress.h"
#include "SimulatedPhones.h"
#include "device/AfcClient.h"
#include "simiphone/AfcPacket.h"
#include "workers/IOSAfcFileDownload.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <functional>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kHostileUdid = QStringLiteral("00008030-00BADBADBADBAD00");
const QString kAfc = QStringLiteral("com.apple.afc");

// A phone whose folder "/h" lists names meant to climb out of the folder they are copied to.
// Every file it serves holds "abc".
void serveHostileAfc(ServiceContext &context)
{
    const QByteArray listing = bytes(".\0..\0...\0../../x\0a/../../x\0ok.txt\0");
    AfcPacket request;
    bool readGiven = false;
    while (AfcPacket::read(context.stream, &request) == AfcPacket::Read) {
        const quint64 number = request.packetNumber;
        QByteArray answer;
        switch (request.operation) {
        case AfcReadDirectory:
            answer = AfcPacket::encode(AfcData, number, {}, listing);
            break;
        case AfcGetFileInfo:
            if (request.textAt(0) == "/h")
                answer = AfcPacket::encode(AfcData, number, {}, bytes("st_ifmt\0S_IFDIR\0"));
            else
                answer = AfcPacket::encode(AfcData, number, {},
                                           bytes("st_size\0"
                                                 "3\0st_ifmt\0S_IFREG\0"));
            break;
        case AfcFileOpen:
            readGiven = false;
            answer = AfcPacket::encode(AfcFileOpenResult, number, le64(7));
            break;
        case AfcFileRead:
            answer = AfcPacket::encode(AfcData, number, {}, readGiven ? QByteArray() : QByteArray("abc"));
            readGiven = true;
            break;
        default:
            answer = AfcPacket::encode(AfcStatus, number, le64(0));
        }
        if (!context.stream.write(answer))
            return;
    }
}

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

}   // namespace

class TestIOSAfcFileDownload : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    SimPhoneFolder phone{QString()};
    QByteArray big = QByteArray(3 * 1024 * 1024 + 17, 'b');

    MobileDeviceHandle *device(const QString &udid = kUdid) { return MobileDeviceHandle::attach(udid); }
    QString media(const QString &path) const { return phone.mediaPath() + path; }
    int opensOnPhone() const
    {
        return PhoneLog::entries(phone, {{"service", kAfc}, {"kind", "afc"}, {"name", "FileOpen"}}).size();
    }

private slots:
    void initTestCase()
    {
        phone = sim.add(PhoneSetup(kUdid)).folder;
        PhoneSetup hostile(kHostileUdid);
        hostile.afc = serveHostileAfc;
        sim.add(hostile);
        sim.start();
        writeFileBytes(media("/Album/one.jpg"), "first picture");
        writeFileBytes(media("/Album/sub/two.jpg"), "second picture");
        writeFileBytes(media("/Album/sub/empty"), {});
        writeFileBytes(media("/big.bin"), big);
    }

    void init()
    {
        phone.setFaults({});
        phone.clearReceived();
    }

    void aFolderIsMirroredAndUnchangedFilesAreCopiedOnce()
    {
        const QString mirror = env.path("mirror");
        const QString cache = env.path("cache.db");
        AfcClient client(device());
        client.open();
        {
            RecordingProgress progress;
            IOSAfcFileDownload download(cache, &progress);
            download.downloadFolder(client, client.fileInfo("/Album"), mirror, true);
            QCOMPARE(filesBelow(mirror), QStringList({"Album/one.jpg", "Album/sub/empty", "Album/sub/two.jpg"}));
            QCOMPARE(readFileBytes(mirror + "/Album/sub/two.jpg"), QByteArray("second picture"));
            QCOMPARE(progress.reports().last().value, -1);
            QCOMPARE(progress.reports().last().text, QStringLiteral("Loading two.jpg, 0KB / 0KB"));
        }
        QCOMPARE(opensOnPhone(), 3);

        // A second run copies nothing; a file changed on the phone, or lost here, is copied again.
        phone.clearReceived();
        QFile changed(media("/Album/one.jpg"));
        QVERIFY(changed.open(QIODevice::ReadWrite));
        QVERIFY(changed.setFileTime(QDateTime::currentDateTimeUtc().addDays(1), QFileDevice::FileModificationTime));
        changed.close();
        QFile::remove(mirror + "/Album/sub/two.jpg");
        RecordingProgress progress;
        IOSAfcFileDownload download(cache, &progress);
        download.downloadFolder(client, client.fileInfo("/Album"), mirror, true);
        const QList<QJsonObject> opens = PhoneLog::entries(phone, {{"kind", "afc"}, {"name", "FileOpen"}});
        QStringList opened;
        for (const QJsonObject &open : opens)
            opened << open.value("path").toString();
        QCOMPARE(opened, QStringList({"/Album/one.jpg", "/Album/sub/two.jpg"}));
        QCOMPARE(filesBelow(mirror).size(), 3);

        // Without the cache every file is copied, and a folder is not a file to copy.
        phone.clearReceived();
        download.downloadFile(client, client.fileInfo("/Album/one.jpg"), mirror + "/again.jpg", false);
        download.downloadFile(client, client.fileInfo("/Album/sub"), mirror + "/folder", false);
        download.downloadFile(client, client.fileInfo("/Album/one.jpg"), mirror + "/again.jpg", false);
        QCOMPARE(opensOnPhone(), 2);
        QVERIFY(!QFileInfo::exists(mirror + "/folder"));
    }

    void aCancelLeavesNoPartialFileAndKeepsTheEarlierCopy()
    {
        const QString folder = env.path("cancel");
        AfcClient client(device());
        client.open();
        RecordingProgress progress;
        progress.cancelWhen([](const RecordingProgress::Report &report) {
            return report.text.startsWith(QLatin1String("Loading big.bin, 512KB"));
        });
        IOSAfcFileDownload download(env.path("cancel.db"), &progress);
        QCOMPARE(thrownText([&] { download.downloadFile(client, client.fileInfo("/big.bin"), folder + "/big.bin", true); }),
                 QStringLiteral("(canceled)"));
        QCOMPARE(filesBelow(folder), QStringList());

        writeFileBytes(folder + "/big.bin", "the earlier copy");
        RecordingProgress again;
        again.cancelWhen(
            [](const RecordingProgress::Report &report) { return report.text.startsWith(QLatin1String("Loading big.bin, 1")); });
        IOSAfcFileDownload secondTry(env.path("cancel.db"), &again);
        QCOMPARE(thrownText([&] { secondTry.downloadFile(client, client.fileInfo("/big.bin"), folder + "/big.bin", true); }),
                 QStringLiteral("(canceled)"));
        QCOMPARE(filesBelow(folder), QStringList("big.bin"));
        QCOMPARE(readFileBytes(folder + "/big.bin"), QByteArray("the earlier copy"));
        // Already canceled: nothing is asked of the phone.
        phone.clearReceived();
        QCOMPARE(thrownText([&] { download.downloadFolder(client, client.fileInfo("/Album"), folder, true); }),
                 QStringLiteral("(canceled)"));
        QCOMPARE(opensOnPhone(), 0);
    }

    void aFailedReadIsReportedAndLeavesNothing()
    {
        const QString folder = env.path("failed");
        AfcClient client(device());
        client.open();
        RecordingProgress progress;
        IOSAfcFileDownload download(env.path("failed.db"), &progress);
        const AfcFileInfo bigFile = client.fileInfo("/big.bin");
        const QString expected =
            QStringLiteral("Please restart your phone to try again.\n\ncan not read /big.bin: the iPhone broke off sending it.");

        phone.setFaults(PhoneLog::answerFault(kAfc, AfcFileRead, "Status", {{"Skip", 10}}));
        QCOMPARE(thrownText([&] { download.downloadFile(client, bigFile, folder + "/big.bin", true); }), expected);
        QCOMPARE(filesBelow(folder), QStringList());

        // Refused at the open: the phone's answer says why.
        phone.setFaults(PhoneLog::answerFault(kAfc, AfcFileOpen, "Status"));
        const QString refused = thrownText([&] { download.downloadFile(client, bigFile, folder + "/big.bin", true); });
        QVERIFY2(refused.startsWith(QStringLiteral("Please restart your phone to try again.\n\ncan not read /big.bin: read "
                                                   "AFC failed, received AFC_OP_STATUS")),
                 qPrintable(refused));
        QCOMPARE(filesBelow(folder), QStringList());

        // The file is copied in full once the phone answers again, and only then remembered.
        phone.setFaults({});
        download.downloadFile(client, bigFile, folder + "/big.bin", true);
        QCOMPARE(readFileBytes(folder + "/big.bin"), big);
    }

    void namesFromThePhoneStayInsideTheMirror()
    {
        const QString root = env.path("hostile");
        const QString mirror = root + "/inner/mirror";
        AfcClient client(device(kHostileUdid));
        client.open();
        RecordingProgress progress;
        IOSAfcFileDownload download(env.path("hostile.db"), &progress);
        download.downloadFolder(client, client.fileInfo("/h"), mirror, false);
        // "..." becomes a plain name; names with a separator or ".." never reach the disk.
        QCOMPARE(filesBelow(root), QStringList({"inner/mirror/h/___", "inner/mirror/h/ok.txt"}));
        QCOMPARE(readFileBytes(mirror + "/h/ok.txt"), QByteArray("abc"));
        QVERIFY(!QFileInfo::exists(env.path("x")));
    }

    void uploadsKeepWhatIsOnThePhoneUnlessTold()
    {
        AfcClient client(device());
        client.open();
        RecordingProgress progress;
        IOSAfcFileDownload transfer(env.path("upload.db"), &progress);
        const QString local = env.path("local/kik.sqlite");
        writeFileBytes(local, QByteArray(200000, 'n'));

        writeFileBytes(media("/Up/kik.sqlite"), "on the phone");
        transfer.uploadFileThrow(client, local, "/Up/kik.sqlite", false);
        QCOMPARE(readFileBytes(media("/Up/kik.sqlite")), QByteArray("on the phone"));
        QCOMPARE(progress.reports().last().text, QStringLiteral("Sending kik.sqlite"));

        writeFileBytes(media("/Up/empty"), {});
        transfer.uploadFileThrow(client, local, "/Up/empty", false);
        QCOMPARE(readFileBytes(media("/Up/empty")), QByteArray(200000, 'n'));
        QCOMPARE(progress.reports().last().text, QStringLiteral("Sending kik.sqlite, 195KB / 195KB"));

        transfer.uploadFileThrow(client, local, "/Up/kik.sqlite", true);
        QCOMPARE(readFileBytes(media("/Up/kik.sqlite")), QByteArray(200000, 'n'));
        transfer.uploadFileThrow(client, local, "/New/Deep/kik.sqlite", false);   // its folder is made
        QCOMPARE(readFileBytes(media("/New/Deep/kik.sqlite")), QByteArray(200000, 'n'));
        QCOMPARE(filesBelow(media("/Up")), QStringList({"empty", "kik.sqlite"}));
    }

    void aFailedUploadLeavesThePhonesFileAsItWas()
    {
        AfcClient client(device());
        client.open();
        RecordingProgress progress;
        IOSAfcFileDownload transfer(env.path("upload2.db"), &progress);
        writeFileBytes(media("/Keep/kik.sqlite"), "Kik's own store");
        writeFileBytes(env.path("local2/kik.sqlite"), QByteArray(100000, 'n'));

        QCOMPARE(thrownText([&] { transfer.uploadFileThrow(client, env.path("local2/missing"), "/Keep/kik.sqlite", true); }),
                 "can not read " + env.path("local2/missing") + ": No such file or directory");
        QCOMPARE(readFileBytes(media("/Keep/kik.sqlite")), QByteArray("Kik's own store"));

        phone.setFaults(PhoneLog::answerFault(kAfc, AfcFileWrite, "Status", {{"Skip", 1}}));
        QCOMPARE(thrownText([&] { transfer.uploadFileThrow(client, env.path("local2/kik.sqlite"), "/Keep/kik.sqlite", true); }),
                 QStringLiteral("IOSAfcFileDownload::uploadFileThrow, write device file /Keep/kik.sqlite error."));
        phone.setFaults({});
        QCOMPARE(readFileBytes(media("/Keep/kik.sqlite")), QByteArray("Kik's own store"));
        QCOMPARE(filesBelow(media("/Keep")), QStringList("kik.sqlite"));
    }
};

QTEST_GUILESS_MAIN(TestIOSAfcFileDownload)
#include "TestIOSAfcFileDownload.moc"
