// parlewick-cli devices and files, run as the built tool against simulated iPhones.

#include "TestEnv.h"

#include "CliRun.h"
#include "SimulatedPhones.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kOther = QStringLiteral("00008101-000A11B22C33D44E");

void writeFile(const QString &path, const QByteArray &bytes, qint64 mtimeSeconds)
{
    writeFileBytes(path, bytes);
    const timespec times[2] = {{mtimeSeconds, 0}, {mtimeSeconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

}   // namespace

class TestCliDevice : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    SimPhoneFolder phone{QString()};

private slots:
    void initTestCase()
    {
        phone = sim.add(PhoneSetup(kUdid, PhoneKik::Development)).folder;
        PhoneSetup other(kOther);
        other.deviceName = QStringLiteral("Tab\tand\nbreak");
        other.productType = QStringLiteral("iPhone14,2");
        other.productVersion = QStringLiteral("16.1");
        sim.add(other);
        sim.start();

        writeFile(phone.mediaPath() + "/DCIM/IMG_0001.JPG", QByteArray(2048, 'j'), 1600000000);
        writeFile(phone.mediaPath() + "/notes.txt", "hello", 1614834367);
        QDir().mkpath(phone.mediaPath() + "/Empty");
        const timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(phone.mediaPath() + "/DCIM").constData(), times, 0);
        writeFile(phone.containerPath("com.kik.chat") + "/Documents/kik.sqlite", QByteArray(4096, 's'), 1700000000);
    }

    void devicesListsEveryPhoneOnOneLine()
    {
        const CliRun run = runCliTool({"devices"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.err, QString());
        QStringList lines = QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
        lines.sort();
        QCOMPARE(lines,
                 (QStringList{kUdid + "\tSimulated iPhone\tiPhone10,3\t17.5", kOther + "\tTab and break\tiPhone14,2\t16.1"}));
    }

    void devicesKeepsAPhoneThatRefusesAndSaysWhy()
    {
        sim.phone(kOther).setFault("NotPaired", true);
        const CliRun run = runCliTool({"devices"});
        sim.phone(kOther).setFaults({});
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.contains(kUdid.toUtf8() + "\tSimulated iPhone"));
        QVERIFY(run.out.contains(kOther.toUtf8() + "\t\t\t\n"));
        QVERIFY2(run.err.contains(kOther + ": Please restart your iPhone and computer"), qPrintable(run.err));
        QVERIFY(run.err.contains("\n\nError code: AMDeviceValidatePairing(-21)"));
    }

    void filesListsAFolderOfTheMediaArea()
    {
        const CliRun run = runCliTool({"files", kUdid});
        QCOMPARE(run.code, 0);
        // Folder sizes are the phone's own; times are UTC, to the second.
        const auto folderSize = [&](const char *name) { return QFileInfo(phone.mediaPath() + name).size(); };
        const QString emptyTime = QFileInfo(phone.mediaPath() + "/Empty").lastModified().toUTC().toString(Qt::ISODate);
        QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("d\t%1\t2017-07-14T02:40:00Z\t/DCIM\n").arg(folderSize("/DCIM"))
                                                 + QStringLiteral("d\t%1\t%2\t/Empty\n").arg(folderSize("/Empty")).arg(emptyTime)
                                                 + QStringLiteral("f\t5\t2021-03-04T05:06:07Z\t/notes.txt\n"));

        const CliRun sub = runCliTool({"files", kUdid, "/DCIM"});
        QCOMPARE(sub.out, QByteArray("f\t2048\t2020-09-13T12:26:40Z\t/DCIM/IMG_0001.JPG\n"));
        const CliRun one = runCliTool({"files", kUdid, "/notes.txt"});
        QCOMPARE(one.out, QByteArray("f\t5\t2021-03-04T05:06:07Z\t/notes.txt\n"));
        const CliRun empty = runCliTool({"files", kUdid, "/Empty"});
        QCOMPARE(empty.code, 0);
        QCOMPARE(empty.out, QByteArray());
    }

    void filesListsAnAppsContainer()
    {
        const CliRun run = runCliTool({"files", kUdid, "--app", "com.kik.chat", "/Documents"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QByteArray("f\t4096\t2023-11-14T22:13:20Z\t/Documents/kik.sqlite\n"));

        const CliRun missing = runCliTool({"files", kUdid, "--app", "com.example.none"});
        QCOMPARE(missing.code, 1);
        QCOMPARE(missing.out, QByteArray());
        QVERIFY2(missing.err.startsWith("can not find com.example.none.\n<?xml"), qPrintable(missing.err));
        QVERIFY(missing.err.contains("<key>Error</key>"));
    }

    void filesExplainsWhatItCannotList()
    {
        const CliRun noPhone = runCliTool({"files", "00000000-0000000000000000"});
        QCOMPARE(noPhone.code, 1);
        QCOMPARE(noPhone.err, QStringLiteral("No iPhone with the UDID 00000000-0000000000000000 is connected.\n"));

        const CliRun noPath = runCliTool({"files", kUdid, "/nowhere"});
        QCOMPARE(noPath.code, 1);
        QCOMPARE(noPath.err, QStringLiteral("/nowhere was not found on the iPhone.\n"));

        const CliRun usage = runCliTool({"files"});
        QCOMPARE(usage.code, 2);
        QVERIFY(usage.err.contains("files takes a UDID and at most one PATH"));
    }

    void devicesSaysWhatToDoWhenNoPhoneCanBeSeen()
    {
        // No multiplexer at all: an error that tells how to get one, not an empty list.
        QProcessEnvironment nowhere = QProcessEnvironment::systemEnvironment();
        nowhere.insert(QStringLiteral("USBMUXD_SOCKET_ADDRESS"), SimulatedPhones::noMultiplexerAddress(env.home()));
        for (const QStringList &arguments : {QStringList{"devices"}, QStringList{"files", kUdid}}) {
            const CliRun run = runCliTool(arguments, nowhere);
            QCOMPARE(run.code, 1);
            QCOMPARE(run.out, QByteArray());
            QVERIFY2(run.err.contains("usbmuxd") && run.err.contains("unlock it and answer \"Trust\" on it"),
                     qPrintable(run.err));
        }

        // A multiplexer without phones: nothing listed, and a word on stderr.
        sim.unplug(kUdid);
        sim.unplug(kOther);
        const CliRun none = runCliTool({"devices"});
        sim.plugIn(kUdid);
        sim.plugIn(kOther);
        QCOMPARE(none.code, 0);
        QCOMPARE(none.out, QByteArray());
        QVERIFY2(none.err.startsWith("No iPhone is connected."), qPrintable(none.err));
    }
};

QTEST_GUILESS_MAIN(TestCliDevice)
#include "TestCliDevice.moc"
