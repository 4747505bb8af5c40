// The program's backup client against simulated phones of iOS 16.1 to 26: the purge request, the
// passcode wait, a slow start, a stall, the errors that need the user, and hostile names in every
// message that carries one. Each ends as the user should see it, and nothing lands outside the
// backup folder.

#include "DeviceBackupPlace.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "PhoneKikStore.h"
#include "PhoneLog.h"
#include "RecordingProgress.h"
#include "SimulatedPhones.h"
#include "device/MobileBackupClient.h"
#include "device/TempBackupFolder.h"
#include "workers/IOSMobileBackupThread.h"
#include "workers/IOSMobileRestoreThread.h"

#include <QDir>
#include <QtTest>

#include <memory>

namespace {

const QString kUdid = QStringLiteral("00008140-000A1B2C3D4E5F62");

DeviceDescription device()
{
    return simulatedPhoneDescription(kUdid);
}

}   // namespace

class TestMobileBackupFaults : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    SimulatedPhones m_sim{m_env.path(QStringLiteral("phones"))};
    QString m_tempRoot = m_env.path(QStringLiteral("disk"));
    QString m_tempFolder = QDir(m_tempRoot).filePath(QLatin1String(TempBackupFolderName));

    SimPhoneFolder phone() const { return m_sim.phone(kUdid); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        QDir().mkpath(m_tempRoot);
        keepDeviceBackupsIn(m_tempFolder);
        m_sim.add(PhoneSetup(kUdid, PhoneKik::AppStore));
        writeFileBytes(kikStorePath(phone()), "on the phone");
        m_sim.start();
    }

    void phoneFaults_data()
    {
        QTest::addColumn<QVariantMap>("faults");
        QTest::addColumn<bool>("isRestore");
        QTest::addColumn<QString>("shown");   // the error's beginning; empty: success
        QTest::newRow("purge request") << QVariantMap{{"PurgeDiskSpace", true}} << false << QString();
        QTest::newRow("slow start") << QVariantMap{{"PrepareSeconds", 1}} << false << QString();
        QTest::newRow("passcode typed") << QVariantMap{{"PasscodeTypedAfter", 1}} << false << QString();
        const QString stalled = QStringLiteral("The iPhone stopped sending for 1 second while it was still connected.");
        QTest::newRow("stall") << QVariantMap{{"StallAfterFiles", 3}} << false << stalled;
        QTest::newRow("stall in a file") << QVariantMap{{"StallInFile", 3}} << false << stalled;
        QTest::newRow("3 snapshot") << QVariantMap{{"MobileBackupErrors", QVariantMap{{"Backup", 3}}}} << false
                                    << "The iPhone could not start the backup: a backup that was interrupted";
        QTest::newRow("105 full") << QVariantMap{{"MobileBackupErrors", QVariantMap{{"Backup", 105}}}} << false
                                  << "There is not enough free space on the computer for the backup.";
        QTest::newRow("212 setup") << QVariantMap{{"MobileBackupErrors", QVariantMap{{"Backup", 212}}}} << false
                                   << "The iPhone has not finished its setup.";
        QTest::newRow("207 password") << QVariantMap{{"MobileBackupErrors", QVariantMap{{"Restore", 207}}}} << true
                                      << "The iPhone did not accept the backup password.";
        const QString unsafe = QStringLiteral("The iPhone sent a file name that is not safe to use");
        for (const char *hostile : {"upload:parent", "upload:control", "download:absolute", "move:parent", "remove:parent",
                                    "mkdir:control", "copy:parent"})
            QTest::newRow(hostile) << QVariantMap{{"HostileName", QString::fromLatin1(hostile)}} << false << unsafe;
        QTest::newRow("restore download:parent") << QVariantMap{{"HostileName", "download:parent"}} << true << unsafe;
    }

    void phoneFaults()
    {
        QFETCH(QVariantMap, faults);
        QFETCH(bool, isRestore);
        QFETCH(QString, shown);
        const QString planted = QDir(m_tempRoot).filePath(QStringLiteral("planted-by-phone"));
        writeFileBytes(planted, "the user's own");
        // A stall comes after the kept backup was changed: nothing may be left that looks finished.
        const bool stalls = QString::fromLatin1(QTest::currentDataTag()).startsWith("stall");
        const QString folder = m_tempFolder + '/' + kUdid;
        if ((isRestore || stalls) && !MobileBackupClient::snapshotFinished(folder)) {
            RecordingProgress made;
            IOSMobileBackupThread backup(device(), &made);
            made.run(backup);
            QCOMPARE(made.errors(), QStringList());
        }
        qputenv("PARLEWICK_PHONE_STALL_SECONDS", "1");
        phone().clearReceived();
        phone().setFaults(faults);
        RecordingProgress progress;
        std::unique_ptr<QThread> worker;
        if (isRestore) {
            auto *restore = new IOSMobileRestoreThread(device(), m_tempFolder, &progress);
            restore->client().setLimits(60, 1);
            worker.reset(restore);
        } else {
            worker = std::make_unique<IOSMobileBackupThread>(device(), &progress);
        }
        progress.run(*worker);
        phone().setFaults({});
        qunsetenv("PARLEWICK_PHONE_STALL_SECONDS");
        if (shown.isEmpty()) {
            QCOMPARE(progress.errors(), QStringList());
            QCOMPARE(progress.successes().size(), 1);
        } else {
            QCOMPARE(progress.successes(), QStringList());
            QCOMPARE(progress.errors().size(), 1);
            QVERIFY2(progress.errors().first().startsWith(shown), qPrintable(progress.errors().first()));
        }
        // The phone (iOS 17.5) waits for its passcode from the request on: told, then taken away.
        QVERIFY(!progress.notices().isEmpty());
        QCOMPARE(progress.notices().last(), QString());
        QCOMPARE(readFileBytes(planted), QByteArray("the user's own"));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/planted-by-phone")));
        if (QTest::currentDataTag() == QLatin1String("slow start")) {
            const QList<RecordingProgress::Report> reports = progress.reports();
            QVERIFY(std::any_of(reports.begin(), reports.end(), [](const RecordingProgress::Report &report) {
                return report.status.startsWith("Waiting for the iPhone to prepare its backup");
            }));
        }
        if (stalls) {
            QCOMPARE(PhoneLog::entries(phone(), {{"kind", "fault"}, {"fault", "Stalled"}}).size(), 1);
            QVERIFY(!QFileInfo::exists(folder) || !MobileBackupClient::snapshotFinished(folder));
        } else if (!isRestore) {
            QVERIFY(shown.isEmpty() ? MobileBackupClient::snapshotFinished(folder)
                                    : !QFileInfo::exists(folder) || MobileBackupClient::snapshotFinished(folder));
        }
    }
};

QTEST_GUILESS_MAIN(TestMobileBackupFaults)
#include "TestMobileBackupFaults.moc"
