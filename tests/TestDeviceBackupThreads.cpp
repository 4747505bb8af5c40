// The device backup and restore threads without a phone: which kept backups are continued, which
// identifiers are refused, a cancel before the start, and the restore's error advice.

#include "DeviceBackupPlace.h"
#include "TestEnv.h"

#include "RecordingProgress.h"
#include "TestFiles.h"
#include "app/AppFolders.h"
#include "device/TempBackupFolder.h"
#include "plist/CFType.h"
#include "workers/IOSMobileBackupThread.h"
#include "workers/IOSMobileRestoreThread.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kNote = QStringLiteral("\n\nNote: You can restart your device to try again.");

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
    writeFileBytes(QDir(folder).filePath("Status.plist"), status.toPlistData(CFType::BinaryFormat));
    CFType lockdown = CFType::newDictionary();
    lockdown.setValue(QStringLiteral("ProductVersion"), CFType(version));
    CFType manifest = CFType::newDictionary();
    manifest.setValue(QStringLiteral("Lockdown"), lockdown);
    writeFileBytes(QDir(folder).filePath("Manifest.plist"), manifest.toPlistData());
    if (!fileList.isEmpty())
        writeFileBytes(QDir(folder).filePath(fileList),
                       fileList.endsWith(QLatin1String(".db")) ? "SQLite format 3" : "mbdb\x05\x00");
    writeFileBytes(QDir(folder).filePath("old.txt"), "earlier backup");
}

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
        writeFileBytes(QDir(m_deviceFolder).filePath("Status.plist"), "bplist00\xff\xff garbage");
        QVERIFY(!IOSMobileBackupThread::canContinueBackup(m_deviceFolder, QStringLiteral("14.8")));
        makeBackup(m_deviceFolder, QStringLiteral("finished"), QStringLiteral("14.8"));
        writeFileBytes(QDir(m_deviceFolder).filePath("Manifest.plist"), "<plist><string>14.8</string></plist>");
        QVERIFY(!IOSMobileBackupThread::canContinueBackup(m_deviceFolder, QStringLiteral("14.8")));
        QVERIFY(!IOSMobileBackupThread::canContinueBackup(env.path(QStringLiteral("none")), QString()));
    }

    void identifierThatIsNoFolderNameIsRefused()
    {
        writeFileBytes(QDir(m_tempRoot).filePath("victim/keep.txt"), "mine");
        for (const QString &udid : {QStringLiteral("../victim"), QStringLiteral("--help"), QString()}) {
            RecordingProgress progress;
            IOSMobileBackupThread worker(phone(udid), &progress);
            progress.run(worker);
            QCOMPARE(progress.errors().size(), 1);
            QVERIFY(progress.errors().first().startsWith("invalid device identifier"));
        }
        QCOMPARE(readFile(QDir(m_tempRoot).filePath("victim/keep.txt")), QByteArray("mine"));
    }

    void cancelBeforeTheStartIsNoSuccess()
    {
        makeBackup(m_deviceFolder, QStringLiteral("finished"), QStringLiteral("14.8"));
        RecordingProgress progress;
        progress.cancel();
        IOSMobileRestoreThread worker(phone(), m_tempFolder, &progress);
        progress.run(worker);
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(progress.successes(), QStringList());   // a cancel is no success
        QCOMPARE(progress.cancels(), 1);
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
        QTest::newRow("other error, as said") << "Error: <script>x</script> failed"
                                              << "Error: <script>x</script> failed" + kNote;
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
        QVERIFY(!offline.contains("http"));
        qputenv("PARLEWICK_VENDOR_HOST", "127.0.0.1:9");
        const QString text = IOSMobileRestoreThread::restoreErrorText(toolSaid);
        qputenv("PARLEWICK_VENDOR_HOST", "");
        QVERIFY(text.startsWith("Please follow this tutorial: http://127.0.0.1:9/"));
        QVERIFY(text.contains(" to disable \"Find my iPhone\" first and then restart your iPhone "
                              "to try again. With Stolen Device Protection on"));
        QVERIFY(!text.contains("<now>"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceBackupThreads)
#include "TestDeviceBackupThreads.moc"
