// The device backup and restore threads driving Debian's idevicebackup2 against the simulated
// iPhone: every device error a user meets (the cable pulled in the middle of a file too) ends in a
// message that says what to do and never in a success, and an encrypted restore gets its
// password without a command line showing it.

#include "DeviceBackupPlace.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"
#include "RecordingProgress.h"
#include "app/AppFolders.h"
#include "device/TempBackupFolder.h"
#include "device/backup2tool.h"
#include "simiphone/SimulatedIPhone.h"
#include "workers/IOSMobileBackupThread.h"
#include "workers/IOSMobileRestoreThread.h"

#include <QDir>
#include <QtTest>

#include <memory>

namespace {

const QString kUdid = QStringLiteral("00008110-000A1B2C3D4E5F61");
const QString kKik = QStringLiteral("com.kik.chat");

DeviceDescription device()
{
    DeviceDescription described;
    described.udid = kUdid;
    described.productVersion = QStringLiteral("17.5");
    return described;
}

}   // namespace

class TestDeviceBackupOnPhone : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    std::unique_ptr<SimulatedIPhone> m_simulator;
    QString m_tempRoot = m_env.path(QStringLiteral("disk"));
    QString m_tempFolder = QDir(m_tempRoot).filePath(QLatin1String(TempBackupFolderName));

    SimPhoneFolder phone() const { return m_simulator->phone(kUdid); }
    QString kikFile() const { return phone().containerPath(kKik) + QStringLiteral("/Documents/kik.sqlite"); }

    void backUp(RecordingProgress &progress)
    {
        IOSMobileBackupThread worker(device(), &progress);
        progress.run(worker);
    }

    void restore(RecordingProgress &progress, const QString &root, const QString &password = QString())
    {
        IOSMobileRestoreThread worker(device(), root, &progress);
        worker.setBackupPassword(password);
        progress.run(worker);
    }

    // A restore restarts the phone: wait until it is back.
    void waitForRestart(quint32 before)
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_simulator->deviceId(kUdid) != 0 && m_simulator->deviceId(kUdid) != before, 15000);
    }

    void backUpOrFail()
    {
        RecordingProgress progress;
        backUp(progress);
        QVERIFY2(progress.errors().isEmpty(), qPrintable(progress.errors().join('\n')));
        QCOMPARE(progress.successes().size(), 1);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        QDir().mkpath(m_tempRoot);
        keepDeviceBackupsIn(m_tempFolder);
        m_simulator = std::make_unique<SimulatedIPhone>(m_env.path(QStringLiteral("phones")));
        SimPhoneOptions options;
        options.apps = {kKik};
        m_simulator->createPhone(kUdid, options);
        writeFileBytes(kikFile(), "on the phone");
        m_simulator->start();
    }

    void init() { phone().setFaults({}); }

    void backupAndRestoreWithTheToolsProgress()
    {
        RecordingProgress progress;
        backUp(progress);
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(progress.successes(), QStringList{QString()});
        QVERIFY(readFileBytes(m_tempFolder + '/' + kUdid + "/Status.plist").contains("finished"));

        writeFileBytes(kikFile(), "changed");
        const quint32 before = m_simulator->deviceId(kUdid);
        RecordingProgress restoring;
        restore(restoring, m_tempFolder);
        QCOMPARE(restoring.errors(), QStringList());
        QCOMPARE(restoring.successes(), QStringList{QString()});
        QCOMPARE(readFileBytes(kikFile()), QByteArray("on the phone"));
        waitForRestart(before);
    }

    void deviceErrorsSayWhatToDo_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("isRestore");
        QTest::addColumn<QString>("shown");
        QTest::newRow("208 locked") << "DeviceLocked" << QVariant(true) << false
                                    << "The iPhone is locked. Unlock it and enter your passcode on the iPhone";
        QTest::newRow("104 upload") << "MobileBackupErrors" << QVariant(QVariantMap{{"Backup", 104}}) << false
                                    << "Some files could not be sent between the iPhone and the computer. Try again.";
        QTest::newRow("cable pulled") << "CablePulledAfterFiles" << QVariant(2) << false
                                      << "The connection to the iPhone was lost. Reconnect the iPhone and try again.";
        QTest::newRow("cable pulled in a file") << "CablePulledInFile" << QVariant(3) << false
                                                << "The connection to the iPhone was lost. Reconnect the iPhone and try again.";
        // Between two files of an upload 1.3.0 waits for the next one without end: the run is
        // stopped once the phone has gone.
        QTest::newRow("cable pulled between files")
            << "CablePulledBetweenFiles" << QVariant(3) << false
            << "The connection to the iPhone was lost. Reconnect the iPhone and try again.";
        QTest::newRow("211 Find My") << "FindMyEnabled" << QVariant(true) << true
                                     << "Please turn off \"Find my iPhone\" on your iPhone first";
        QTest::newRow("205 damaged") << "MobileBackupErrors" << QVariant(QVariantMap{{"Restore", 205}}) << true
                                     << "The iPhone could not read the device backup: it is damaged. Make a new backup";
    }

    void deviceErrorsSayWhatToDo()
    {
        QFETCH(QString, fault);
        QFETCH(QVariant, value);
        QFETCH(bool, isRestore);
        QFETCH(QString, shown);
        if (isRestore)
            backUpOrFail();
        writeFileBytes(kikFile(), "kept");
        phone().setFault(fault, value);
        RecordingProgress progress;
        if (isRestore)
            restore(progress, m_tempFolder);
        else
            backUp(progress);
        QCOMPARE(progress.successes(), QStringList());
        QCOMPARE(progress.errors().size(), 1);
        QVERIFY2(progress.errors().first().startsWith(shown), qPrintable(progress.errors().first()));
        QCOMPARE(readFileBytes(kikFile()), QByteArray("kept"));
        if (!isRestore)   // half a backup is never left to be read
            QVERIFY(!QFileInfo::exists(m_tempFolder + '/' + kUdid));
        phone().setFaults({});
        if (fault.startsWith(QLatin1String("CablePulled"))) {
            QTRY_COMPARE(m_simulator->deviceId(kUdid), 0u);
            m_simulator->plugIn(kUdid);
            QTRY_VERIFY(m_simulator->deviceId(kUdid) != 0);
        }
    }

    void encryptedRestoreTakesThePasswordOnStandardInput()
    {
        phone().setBackupPassword(QStringLiteral("s3cret"), 10);
        writeFileBytes(kikFile(), "on the phone");
        backUpOrFail();
        backup2tool tool(nullptr, kUdid, m_tempFolder);
        tool.setBackupPassword(QStringLiteral("s3cret"));
        const QStringList arguments = tool.arguments(backup2tool_restore);
        QVERIFY(arguments.contains("-i"));
        QVERIFY(!arguments.join(' ').contains("s3cret"));

        writeFileBytes(kikFile(), "changed");
        RecordingProgress wrong;
        restore(wrong, m_tempFolder, QStringLiteral("wrong"));
        QCOMPARE(wrong.successes(), QStringList());
        QCOMPARE(readFileBytes(kikFile()), QByteArray("changed"));

        const quint32 before = m_simulator->deviceId(kUdid);
        RecordingProgress progress;
        restore(progress, m_tempFolder, QStringLiteral("s3cret"));
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(progress.successes(), QStringList{QString()});
        QCOMPARE(readFileBytes(kikFile()), QByteArray("on the phone"));
        waitForRestart(before);
        phone().setBackupPassword(QString());
    }

    // 1.3.0 restores a backup whose Info.plist lists no Applications only with --skip-apps.
    void backupWithoutApplicationsIsRestored()
    {
        const QString root = m_env.path(QStringLiteral("made"));
        ItunesBackupDevice made;
        made.uniqueDeviceId = kUdid;
        made.productVersion = QStringLiteral("17.5");
        ItunesBackupBuilder builder(made);
        builder.addFile(QStringLiteral("AppDomain-") + kKik, QStringLiteral("Documents/kik.sqlite"), "from the backup");
        builder.build(root + '/' + kUdid);
        QVERIFY(backup2tool(nullptr, kUdid, root).arguments(backup2tool_restore).contains("--skip-apps"));

        const quint32 before = m_simulator->deviceId(kUdid);
        RecordingProgress progress;
        restore(progress, root);
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(progress.successes(), QStringList{QString()});
        QCOMPARE(readFileBytes(kikFile()), QByteArray("from the backup"));
        waitForRestart(before);
    }

    void cleanupTestCase() { m_simulator.reset(); }
};

QTEST_GUILESS_MAIN(TestDeviceBackupOnPhone)
#include "TestDeviceBackupOnPhone.moc"
