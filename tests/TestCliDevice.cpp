// parlewick-cli devices and files, run as the built tool against simulated iPhones.

#include "TestEnv.h"

#include "simiphone/SimulatedIPhone.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kOther = QStringLiteral("00008101-000A11B22C33D44E");

struct Run
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

void writeFile(const QString &path, const QByteArray &bytes, qint64 mtimeSeconds)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const timespec times[2] = {{mtimeSeconds, 0}, {mtimeSeconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

} // namespace

class TestCliDevice : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedIPhone sim{env.path(QStringLiteral("phones"))};
    SimPhoneFolder phone{QString()};

    Run runTool(const QStringList &arguments)
    {
        QProcess process;   // inherits USBMUXD_SOCKET_ADDRESS from the running simulator
        process.start(TestEnv::binaryDir() + QLatin1String("/bin/parlewick-cli"), arguments);
        Run run;
        if (!process.waitForFinished(60000))
            return run;
        run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

private slots:
    void initTestCase()
    {
        SimPhoneOptions options;
        options.apps = {QStringLiteral("com.kik.chat")};
        phone = sim.createPhone(kUdid, options);
        SimPhoneOptions other;
        other.deviceName = QStringLiteral("Tab\tand\nbreak");
        other.productType = QStringLiteral("iPhone14,2");
        other.productVersion = QStringLiteral("16.1");
        sim.createPhone(kOther, other);
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
        const Run run = runTool({"devices"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.err, QByteArray());
        QStringList lines = QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
        lines.sort();
        QCOMPARE(lines, (QStringList{kUdid + "\tSimulated iPhone\tiPhone10,3\t14.8",
                                     kOther + "\tTab and break\tiPhone14,2\t16.1"}));
    }

    void devicesKeepsAPhoneThatRefusesAndSaysWhy()
    {
        sim.phone(kOther).setFault("NotPaired", true);
        const Run run = runTool({"devices"});
        sim.phone(kOther).setFaults({});
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.contains(kUdid.toUtf8() + "\tSimulated iPhone"));
        QVERIFY(run.out.contains(kOther.toUtf8() + "\t\t\t\n"));
        QVERIFY2(run.err.contains(kOther.toUtf8() + ": Please restart your iPhone and computer"), run.err.constData());
        QVERIFY(run.err.contains("\n\nError code: AMDeviceValidatePairing(-21)"));
    }

    void filesListsAFolderOfTheMediaArea()
    {
        const Run run = runTool({"files", kUdid});
        QCOMPARE(run.code, 0);
        // Folder sizes are the phone's own; times are UTC, to the second.
        const auto folderSize = [&](const char *name) { return QFileInfo(phone.mediaPath() + name).size(); };
        const QString emptyTime = QFileInfo(phone.mediaPath() + "/Empty").lastModified().toUTC().toString(Qt::ISODate);
        QCOMPARE(QString::fromUtf8(run.out),
                 QStringLiteral("d\t%1\t2017-07-14T02:40:00Z\t/DCIM\n").arg(folderSize("/DCIM"))
                     + QStringLiteral("d\t%1\t%2\t/Empty\n").arg(folderSize("/Empty")).arg(emptyTime)
                     + QStringLiteral("f\t5\t2021-03-04T05:06:07Z\t/notes.txt\n"));

        const Run sub = runTool({"files", kUdid, "/DCIM"});
        QCOMPARE(sub.out, QByteArray("f\t2048\t2020-09-13T12:26:40Z\t/DCIM/IMG_0001.JPG\n"));
        const Run one = runTool({"files", kUdid, "/notes.txt"});
        QCOMPARE(one.out, QByteArray("f\t5\t2021-03-04T05:06:07Z\t/notes.txt\n"));
        const Run empty = runTool({"files", kUdid, "/Empty"});
        QCOMPARE(empty.code, 0);
        QCOMPARE(empty.out, QByteArray());
    }

    void filesListsAnAppsContainer()
    {
        const Run run = runTool({"files", kUdid, "--app", "com.kik.chat", "/Documents"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QByteArray("f\t4096\t2023-11-14T22:13:20Z\t/Documents/kik.sqlite\n"));

        const Run missing = runTool({"files", kUdid, "--app", "com.example.none"});
        QCOMPARE(missing.code, 1);
        QCOMPARE(missing.out, QByteArray());
        QVERIFY2(missing.err.startsWith("can not find com.example.none.\n<?xml"), missing.err.constData());
        QVERIFY(missing.err.contains("<key>Error</key>"));
    }

    void filesExplainsWhatItCannotList()
    {
        const Run noPhone = runTool({"files", "00000000-0000000000000000"});
        QCOMPARE(noPhone.code, 1);
        QCOMPARE(noPhone.err, QByteArray("No iPhone with the UDID 00000000-0000000000000000 is connected.\n"));

        const Run noPath = runTool({"files", kUdid, "/nowhere"});
        QCOMPARE(noPath.code, 1);
        QCOMPARE(noPath.err, QByteArray("/nowhere was not found on the iPhone.\n"));

        const Run usage = runTool({"files"});
        QCOMPARE(usage.code, 2);
        QVERIFY(usage.err.contains("files takes a UDID and at most one PATH"));
    }

    void cleanupTestCase()
    {
        sim.stop();
    }
};

QTEST_GUILESS_MAIN(TestCliDevice)
#include "TestCliDevice.moc"
