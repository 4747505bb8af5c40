// The device backup and restore threads, with a fake backup tool.

#include "DeviceBackupPlace.h"
#include "TestEnv.h"

#include "FakeBackupTool.h"
#include "RecordingProgress.h"
#include "app/AppFolders.h"
#include "device/TempBackupFolder.h"
#include "plist/CFType.h"
#include "workers/IOSMobileBackupThread.h"
#include "workers/IOSMobileRestoreThread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kNote = QStringLiteral("<br/><br/>Note: You can restart your device to try again.");

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// A device backup as the tool leaves it, with a file of our own to see whether it was kept.
void makeBackup(const QString &folder, const QString &snapshotState, const QString &version,
                const QString &fileList = QStringLiteral("Manifest.mbdb"))
{
    CFType status = CFType::newDictionary();
    status.setValue(QStringLiteral("SnapshotState"), CFType(snapshotState));
    writeFile(QDir(folder).filePath("Status.plist"), status.toPlistData(CFType::BinaryFormat));
    CFType lockdown = CFType::newDictionary();
    lockdown.setValue(QStringLiteral("ProductVersion"), CFType(version));
    CFType manifest = CFType::newDictionary();
    manifest.setValue(QStringLiteral("Lockdown"), lockdown);
    writeFile(QDir(folder).filePath("Manifest.plist"), manifest.toPlistData());
    if (!fileList.isEmpty())
        writeFile(QDir(folder).filePath(fileList), fileList.endsWith(QLatin1String(".db")) ? "SQLite format 3" : "mbdb\x05\x00");
    writeFile(QDir(folder).filePath("old.txt"), "earlier backup");
}

// Canceled once the fake tool has written its note: the cancel comes just as the tool ends on its
// own, as when a Ctrl-C at the terminal reaches the tool as well.
class CanceledAsTheToolEnds : public RecordingProgress
{
public:
    explicit CanceledAsTheToolEnds(const FakeBackupTool &tool)
        : m_tool(tool)
    {
    }
    bool isCanceled() const override { return !m_tool.note().isEmpty(); }

private:
    const FakeBackupTool &m_tool;
};

DeviceDescription phone(const QString &udid = kUdid)
{
    DeviceDescription device;
    device.udid = udid;
    device.productVersion = QStringLiteral("14.8");
    return device;
}

}   // namespace

class TestDeviceBackupThreads : public QObject
{
    Q_OBJECT
    TestEnv env;
    QString m_tempRoot = env.path(QStringLiteral("disk"));
    QString m_tempFolder = QDir(m_tempRoot).filePath(QLatin1String(TempBackupFolderName));
    QString m_deviceFolder = QDir(m_tempFolder).filePath(kUdid);
    QString m_bin = env.path(QStringLiteral("bin"));

private slots:
    void initTestCase()
    {
        QDir().mkpath(m_tempRoot);
        keepDeviceBackupsIn(m_tempFolder);
    }

    void init() { QDir(m_tempFolder).removeRecursively(); }

    void onlyAFinishedBackupOfTheSameVersionIsContinued_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("fileList");
        QTest::addColumn<bool>("continued");
        QTest::newRow("finished, same version") << "finished"
                                                << "14.8"
                                                << "Manifest.mbdb" << true;
        QTest::newRow("Manifest.db, finished, same version") << "finished"
                                                             << "14.8"
                                                             << "Manifest.db" << true;
        QTest::newRow("snapshot not finished") << "new"
                                               << "14.8"
                                               << "Manifest.mbdb" << false;
        QTest::newRow("Manifest.db, not finished") << "new"
                                                   << "14.8"
                                                   << "Manifest.db" << false;
        QTest::newRow("other iOS version") << "finished"
                                           << "13.0"
                                           << "Manifest.db" << false;
        QTest::newRow("no file list") << "finished"
                                      << "14.8"
                                      << "" << false;
    }

    void onlyAFinishedBackupOfTheSameVersionIsContinued()
    {
        QFETCH(QString, state);
        QFETCH(QString, version);
        QFETCH(QString, fileList);
        QFETCH(bool, continued);
        makeBackup(m_deviceFolder, state, version, fileList);
        QCOMPARE(IOSMobileBackupThread::canContinueBackup(m_deviceFolder, QStringLiteral("14.8")), continued);
    }

    void damagedBackupFilesAreNotContinued()
    {
        makeBackup(m_deviceFolder, QStringLiteral("finished"), QStringLiteral("14.8"));
        writeFile(QDir(m_deviceFolder).filePath("Status.plist"), "bplist00\xff\xff garbage");
        QVERIFY(!IOSMobileBackupThread::canContinueBackup(m_deviceFolder, QStringLiteral("14.8")));
        makeBackup(m_deviceFolder, QStringLiteral("finished"), QStringLiteral("14.8"));
        writeFile(QDir(m_deviceFolder).filePath("Manifest.plist"), "<plist><string>14.8</string></plist>");
        QVERIFY(!IOSMobileBackupThread::canContinueBackup(m_deviceFolder, QStringLiteral("14.8")));
        QVERIFY(!IOSMobileBackupThread::canContinueBackup(env.path(QStringLiteral("none")), QString()));
    }

    void backupKeepsACompleteBackupAndRemovesAStaleOne()
    {
        FakeBackupTool fake(m_bin);
        fake.write(QStringLiteral("[ -f \"$ROOT/%1/old.txt\" ] && echo kept > \"$NOTE\" || echo gone > \"$NOTE\"").arg(kUdid));

        makeBackup(m_deviceFolder, QStringLiteral("finished"), QStringLiteral("14.8"));
        RecordingProgress progress;
        IOSMobileBackupThread worker(phone(), &progress);
        QCOMPARE(worker.backupFolder(), m_tempFolder);
        progress.run(worker);
        QCOMPARE(fake.note(), QStringLiteral("kept\n"));
        QCOMPARE(fake.arguments().last(), m_tempFolder);
        QCOMPARE(progress.successes(), QStringList{QString()});
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(progress.reports().first().status, QStringLiteral("Loading data from Device..."));
        QCOMPARE(progress.reports().first().value, 0);

        makeBackup(m_deviceFolder, QStringLiteral("new"), QStringLiteral("14.8"));
        fake.write(QStringLiteral("[ -f \"$ROOT/%1/old.txt\" ] && echo kept > \"$NOTE\" || echo gone > \"$NOTE\"; "
                                  "mkdir -p \"$ROOT/%1\"; printf '<plist><dict><key>SnapshotState</key>"
                                  "<string>finished</string></dict></plist>' > \"$ROOT/%1/Status.plist\"")
                       .arg(kUdid));
        RecordingProgress again;
        IOSMobileBackupThread second(phone(), &again);
        again.run(second);
        QCOMPARE(fake.note(), QStringLiteral("gone\n"));
        QCOMPARE(again.successes(), QStringList{QString()});
    }

    void failedBackupLeavesNoHalfBackup()
    {
        FakeBackupTool fake(m_bin);
        fake.write(QStringLiteral("mkdir -p \"$ROOT/%1\"; echo x > \"$ROOT/%1/partial\"; echo 'ERROR: <b>disk</b> full'; "
                                  "exit 1")
                       .arg(kUdid));
        writeFile(QDir(m_tempFolder).filePath("other/keep.txt"), "not the phone's");
        RecordingProgress progress;
        IOSMobileBackupThread worker(phone(), &progress);
        progress.run(worker);
        QCOMPARE(progress.errors(),
                 QStringList{"ERROR: &lt;b&gt;disk&lt;/b&gt; full\nfakebackup ended with exit code 1." + kNote});
        QCOMPARE(progress.successes(), QStringList());
        QVERIFY(!QFileInfo::exists(m_deviceFolder));
        QCOMPARE(readFile(QDir(m_tempFolder).filePath("other/keep.txt")), QByteArray("not the phone's"));
    }

    void identifierThatIsNoFolderNameIsRefused()
    {
        FakeBackupTool fake(m_bin);
        fake.write(QStringLiteral("exit 0"));
        writeFile(QDir(m_tempRoot).filePath("victim/keep.txt"), "mine");
        for (const QString &udid : {QStringLiteral("../victim"), QStringLiteral("--help"), QString()}) {
            RecordingProgress progress;
            IOSMobileBackupThread worker(phone(udid), &progress);
            progress.run(worker);
            QCOMPARE(progress.errors().size(), 1);
            QVERIFY(progress.errors().first().startsWith("invalid device identifier"));
            QCOMPARE(fake.arguments(), QStringList());   // the tool never ran
        }
        QCOMPARE(readFile(QDir(m_tempRoot).filePath("victim/keep.txt")), QByteArray("mine"));
    }

    void cancelOfTheTaskStopsTheTool()
    {
        FakeBackupTool fake(m_bin);
        fake.write(QStringLiteral("exec sleep 30"));
        RecordingProgress progress;
        progress.cancel();
        IOSMobileRestoreThread worker(phone(), m_tempFolder, &progress);
        QElapsedTimer clock;
        clock.start();
        progress.run(worker);
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(progress.successes(), QStringList());   // a cancel is no success
        QCOMPARE(progress.cancels(), 1);
    }

    void aToolThatEndsWellAfterTheCancelIsStillCanceled()
    {
        FakeBackupTool fake(m_bin);
        const QString endsWell = QStringLiteral("mkdir -p \"$ROOT/%1\"; printf '<plist><dict><key>SnapshotState</key>"
                                                "<string>finished</string></dict></plist>' > \"$ROOT/%1/Status.plist\"; "
                                                "echo stopped > \"$NOTE\"; exit 0")
                                     .arg(kUdid);
        fake.write(endsWell);
        CanceledAsTheToolEnds backingUp(fake);
        IOSMobileBackupThread backup(phone(), &backingUp);
        backingUp.run(backup);
        QCOMPARE(backingUp.successes() + backingUp.errors(), QStringList());
        QCOMPARE(backingUp.cancels(), 1);
        QVERIFY(!QFileInfo::exists(m_deviceFolder));   // never taken for the phone's data

        makeBackup(m_deviceFolder, QStringLiteral("finished"), QStringLiteral("14.8"));
        fake.write(endsWell);
        CanceledAsTheToolEnds restoring(fake);
        IOSMobileRestoreThread restore(phone(), m_tempFolder, &restoring);
        restoring.run(restore);
        QCOMPARE(restoring.successes() + restoring.errors(), QStringList());
        QCOMPARE(restoring.cancels(), 1);
    }

    void restoreHidesInfoPlistAndPutsItBack()
    {
        const QString info = QDir(m_deviceFolder).filePath("Info.plist");
        FakeBackupTool fake(m_bin);
        for (const int exitCode : {0, 2}) {
            writeFile(info, "INFO");
            fake.write(QStringLiteral("ls \"$ROOT/%1\" > \"$NOTE\"; exit %2").arg(kUdid).arg(exitCode));
            RecordingProgress progress;
            IOSMobileRestoreThread worker(phone(), m_tempFolder, &progress);
            progress.run(worker);

            const QStringList seen = fake.note().split('\n', Qt::SkipEmptyParts);
            QVERIFY(!seen.contains("Info.plist"));
            QCOMPARE(seen.filter(QRegularExpression("^Info\\.plist-\\d+$")).size(), 1);
            QCOMPARE(readFile(info), QByteArray("INFO"));
            QCOMPARE(QDir(m_deviceFolder).entryList({"Info.plist*"}, QDir::Files), QStringList{"Info.plist"});
            QCOMPARE(progress.reports().first().status, QStringLiteral("Transferring data to Device..."));
            if (exitCode == 0)
                QCOMPARE(progress.successes(), QStringList{QString()});
            else
                QCOMPARE(progress.errors(), QStringList{"fakebackup ended with exit code 2." + kNote});
        }

        // idevicebackup2 itself will not restore without it.
        FakeBackupTool real(m_bin, QStringLiteral("idevicebackup2"));
        real.write(QStringLiteral("ls \"$ROOT/%1\" > \"$NOTE\"").arg(kUdid));
        RecordingProgress progress;
        IOSMobileRestoreThread worker(phone(), m_tempFolder, &progress);
        progress.run(worker);
        QVERIFY(real.note().split('\n').contains("Info.plist"));
        QCOMPARE(progress.successes(), QStringList{QString()});
    }

    void restoreErrorsBecomeAdvice_data()
    {
        QTest::addColumn<QString>("toolSaid");
        QTest::addColumn<QString>("shown");
        const QString space = QStringLiteral(
            "%1 GB free disk space on your device is required restore data.  Please remove some camera roll videos "
            "from your device to computer to free up disk space first and then try again.");
        QTest::newRow("insufficient space")
            << "ErrorDescription: insufficient FREE disk space on device to restore (1000 of 3221225472)" << space.arg("3");
        QTest::newRow("rounded to one digit")
            << "Insufficient free disk space on device to restore (7 bytes < 5905580032)" << space.arg("6");
        QTest::newRow("other error, escaped") << "Error: <script>x</script> failed"
                                              << "Error: &lt;script&gt;x&lt;/script&gt; failed" + kNote;
        QTest::newRow("space text without numbers") << "Insufficient free disk space on device to restore (a b c)"
                                                    << "Insufficient free disk space on device to restore (a b c)" + kNote;
    }

    void restoreErrorsBecomeAdvice()
    {
        QFETCH(QString, toolSaid);
        QFETCH(QString, shown);
        QCOMPARE(IOSMobileRestoreThread::restoreErrorText(std::runtime_error(toolSaid.toStdString())), shown);
    }

    void findMyIPhoneLeadsToTheTutorial()
    {
        // The vendor's tutorial, where a vendor host is configured; without one no link, the way to the switch.
        const std::runtime_error toolSaid("ERROR: find my iphone MUST be disabled <now>");
        const QString offline = IOSMobileRestoreThread::restoreErrorText(toolSaid);
        QVERIFY2(offline.startsWith("Please turn off \"Find my iPhone\" on your iPhone first (Settings"), qPrintable(offline));
        QVERIFY(!offline.contains("<a "));
        qputenv("PARLEWICK_VENDOR_HOST", "127.0.0.1:9");
        const QString text = IOSMobileRestoreThread::restoreErrorText(toolSaid);
        qputenv("PARLEWICK_VENDOR_HOST", "");
        QVERIFY(text.startsWith("Please follow <a href=\"http://127.0.0.1:9/"));
        QVERIFY(text.endsWith("\"> this tutorial</a> to disable \"Find my iPhone\" first and then restart your iPhone "
                              "to try again.<br/><br/>"));
        QVERIFY(!text.contains("<now>"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceBackupThreads)
#include "TestDeviceBackupThreads.moc"
