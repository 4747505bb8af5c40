// The device backup and restore threads with the program's own backup client against the
// simulated iPhone: every device error a user meets (the cable pulled in the middle of a file too)
// ends in a message that says what to do and never in a success, a failed backup leaves nothing
// that could pass for a finished one, and an encrypted restore hands the phone its password.

#include "DeviceBackupPlace.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"
#include "PhoneKikStore.h"
#include "PhoneLog.h"
#include "RecordingProgress.h"
#include "SimulatedPhones.h"
#include "app/AppFolders.h"
#include "device/MobileBackupClient.h"
#include "device/TempBackupFolder.h"
#include "itunes/ManifestFilesDb.h"
#include "plist/CFType.h"
#include "workers/IOSMobileBackupThread.h"
#include "workers/IOSMobileRestoreThread.h"

#include <QDir>
#include <QJsonArray>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QString kUdid = QStringLiteral("00008110-000A1B2C3D4E5F61");
const QString kKik = QStringLiteral("com.kik.chat");

DeviceDescription device()
{
    return simulatedPhoneDescription(kUdid);
}

// Path -> bytes of the files a device backup lists in a domain, read from their payloads.
QMap<QString, QByteArray> filesBackedUp(const QString &folder, const QString &domain)
{
    QMap<QString, QByteArray> files;
    const QString list = folder + QStringLiteral("/Manifest.db");
    const MbdbIndex index = readManifestFilesDb(list, list).index;
    for (auto it = index.begin(); it != index.end(); ++it) {
        if (it->domain.bytes == domain.toUtf8() && (it->mode & 0170000) == 0100000)
            files.insert(QString::fromUtf8(it->path.bytes), readFileBytes(folder + '/' + it.key().left(2) + '/' + it.key()));
    }
    return files;
}

}   // namespace

class TestDeviceBackupOnPhone : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    SimulatedPhones m_sim{m_env.path(QStringLiteral("phones"))};
    QString m_tempRoot = m_env.path(QStringLiteral("disk"));
    QString m_tempFolder = QDir(m_tempRoot).filePath(QLatin1String(TempBackupFolderName));

    SimPhoneFolder phone() const { return m_sim.phone(kUdid); }
    QString kikFile() const { return kikStorePath(phone()); }

    void backUp(RecordingProgress &progress)
    {
        IOSMobileBackupThread worker(device(), &progress);
        progress.run(worker);
    }

    void restore(RecordingProgress &progress, const QString &root, const QString &password = QString())
    {
        IOSMobileRestoreThread worker(device(), root, &progress);
        worker.setBackupPassword(Secret::fromUtf8(password.toUtf8()));
        progress.run(worker);
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
        m_sim.add(PhoneSetup(kUdid, PhoneKik::AppStore));
        writeFileBytes(kikFile(), "on the phone");
        m_sim.start();
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
        const quint32 before = m_sim.deviceId(kUdid);
        RecordingProgress restoring;
        restore(restoring, m_tempFolder);
        QCOMPARE(restoring.errors(), QStringList());
        QCOMPARE(restoring.successes(), QStringList{QString()});
        QCOMPARE(readFileBytes(kikFile()), QByteArray("on the phone"));
        QVERIFY(m_sim.waitForPlugIn(kUdid, before));   // a restore restarts the phone
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
        // Half a backup is never left to be read; a finished one the phone did not touch may stay.
        const QString folder = m_tempFolder + '/' + kUdid;
        if (!isRestore)
            QVERIFY(!QFileInfo::exists(folder) || MobileBackupClient::snapshotFinished(folder));
        phone().setFaults({});
        if (fault.startsWith(QLatin1String("CablePulled"))) {
            QTRY_COMPARE(m_sim.deviceId(kUdid), 0u);
            m_sim.plugIn(kUdid);
            QVERIFY(m_sim.waitForPlugIn(kUdid));
        }
    }

    void encryptedRestoreHandsThePhoneItsPassword()
    {
        phone().setBackupPassword(QStringLiteral("s3cret"), 10);
        writeFileBytes(kikFile(), "on the phone");
        backUpOrFail();

        writeFileBytes(kikFile(), "changed");
        RecordingProgress wrong;
        restore(wrong, m_tempFolder, QStringLiteral("wrong"));
        QCOMPARE(wrong.successes(), QStringList());
        QCOMPARE(readFileBytes(kikFile()), QByteArray("changed"));

        const quint32 before = m_sim.deviceId(kUdid);
        RecordingProgress progress;
        restore(progress, m_tempFolder, QStringLiteral("s3cret"));
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(progress.successes(), QStringList{QString()});
        QCOMPARE(readFileBytes(kikFile()), QByteArray("on the phone"));
        QVERIFY(m_sim.waitForPlugIn(kUdid, before));
        const QList<QJsonObject> requests =
            PhoneLog::entries(phone(), {{"service", "com.apple.mobilebackup2"}, {"kind", "plist"}});
        QVERIFY(std::any_of(requests.begin(), requests.end(), [](const QJsonObject &request) {
            return request.value("request").toArray().at(1).toObject().value("Options").toObject().value("Password")
                   == QStringLiteral("s3cret");
        }));
        phone().setBackupPassword(QString());
    }

    // A backup that lists no applications (here without Info.plist at all) is restored without them.
    void backupWithoutApplicationsIsRestored()
    {
        const QString root = m_env.path(QStringLiteral("made"));
        ItunesBackupDevice made;
        made.uniqueDeviceId = kUdid;
        made.productVersion = QStringLiteral("17.5");
        ItunesBackupBuilder builder(made);
        builder.addFile(QStringLiteral("AppDomain-") + kKik, QStringLiteral("Documents/kik.sqlite"), "from the backup");
        builder.build(root + '/' + kUdid);

        const quint32 before = m_sim.deviceId(kUdid);
        RecordingProgress progress;
        restore(progress, root);
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(progress.successes(), QStringList{QString()});
        QCOMPARE(readFileBytes(kikFile()), QByteArray("from the backup"));
        QVERIFY(m_sim.waitForPlugIn(kUdid, before));
    }

    // An iOS 17 phone waits for its passcode from the request on: the notice shows until the phone
    // goes on; the dialog's line tells bytes of the total announced and files.
    void progressTellsThePasscodeBytesAndFiles()
    {
        RecordingProgress progress;
        backUp(progress);
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(progress.notices().first(), AbsDeviceBackupThread::passcodeNotice());
        QCOMPARE(progress.notices().last(), QString());
        const QList<RecordingProgress::Report> reports = progress.reports();
        QVERIFY(std::any_of(reports.begin(), reports.end(), [](const RecordingProgress::Report &report) {
            return QRegularExpression(QStringLiteral("^[\\d.]+ [kMG]?B of [\\d.]+ [kMG]?B, \\d+ files"))
                .match(report.text)
                .hasMatch();
        }));
        QCOMPARE(reports.last().value, 100);
    }

    void aKeptBackupIsContinuedAndACanceledOneIsNotLeft()
    {
        backUpOrFail();
        const QString folder = m_tempFolder + '/' + kUdid;
        writeFileBytes(folder + "/kept.txt", "from before");
        backUpOrFail();
        QCOMPARE(readFileBytes(folder + "/kept.txt"), QByteArray("from before"));

        RecordingProgress progress;
        progress.cancelWhen([](const RecordingProgress::Report &report) { return report.value >= 3; });
        backUp(progress);
        QCOMPARE(progress.cancels(), 1);
        QCOMPARE(progress.successes() + progress.errors(), QStringList());
        QVERIFY(!QFileInfo::exists(folder) || !MobileBackupClient::snapshotFinished(folder));
    }

    // A kept backup the phone finds whole takes only what changed; one that is not whole (or is
    // another computer's) gets everything again, never a mix of two backups.
    void aKeptBackupTakesOnlyWhatChanged_data()
    {
        QTest::addColumn<QString>("spoil");   // what happens to the kept backup before the next
        QTest::addColumn<bool>("incremental");
        QTest::newRow("whole") << QString() << true;
        QTest::newRow("unfinished") << "Status.plist" << false;
        QTest::newRow("damaged file list") << "Manifest.db" << false;
        QTest::newRow("another backup") << "UUID" << false;
    }

    void aKeptBackupTakesOnlyWhatChanged()
    {
        QFETCH(QString, spoil);
        QFETCH(bool, incremental);
        const QString container = phone().containerPath(kKik);
        writeFileBytes(container + "/Documents/going.txt", "removed before the next backup");
        writeFileBytes(container + "/Documents/staying.txt", "never changes");
        backUpOrFail();
        const QString folder = m_tempFolder + '/' + kUdid;
        if (spoil == "Status.plist" || spoil == "UUID") {
            CFType status = CFType::fromPlistFile(folder + "/Status.plist");
            if (spoil == "UUID")
                status.setValue("UUID", CFType("0C5F7E8A-another-computer"));
            else
                status.setValue("SnapshotState", CFType("uploading"));
            writeFileBytes(folder + "/Status.plist", status.toPlistData(CFType::BinaryFormat));
        } else if (!spoil.isEmpty()) {
            QByteArray list = readFileBytes(folder + "/Manifest.db");
            writeFileBytes(folder + "/Manifest.db", list.left(list.size() / 2));
        }
        QFile::remove(container + "/Documents/going.txt");
        writeFileBytes(kikFile(), "one more message");
        phone().clearReceived();
        backUpOrFail();

        const QList<QJsonObject> made = PhoneLog::entries(phone(), {{"kind", "backup"}});
        QCOMPARE(made.size(), 1);
        QCOMPARE(made.first().value("incremental").toBool(), incremental);
        QCOMPARE(made.first().value("removed").toInt(), incremental ? 1 : 0);
        if (incremental)
            QCOMPARE(made.first().value("files").toInt(), 1);
        QMap<QString, QByteArray> expected = treeOf(container);
        expected.remove("Documents/going.txt");
        QCOMPARE(filesBackedUp(folder, "AppDomain-" + kKik), expected);
        QVERIFY(MobileBackupClient::snapshotFinished(folder));
    }

    void firstBackupRefusesADiskTooSmall()
    {
        QDir(m_tempFolder + '/' + kUdid).removeRecursively();
        const QVariantMap usage = phone().lockdownValues().value("com.apple.disk_usage").toMap();
        phone().setLockdownValue("com.apple.disk_usage", "TotalDataCapacity", qint64(1) << 52);
        phone().setLockdownValue("com.apple.disk_usage", "AmountDataAvailable", 0);
        RecordingProgress progress;
        backUp(progress);
        for (auto it = usage.begin(); it != usage.end(); ++it)
            phone().setLockdownValue("com.apple.disk_usage", it.key(), it.value());
        QCOMPARE(progress.errors().size(), 1);
        QVERIFY2(progress.errors().first().startsWith("The first backup of this iPhone needs up to 4.5 PB on the computer, "
                                                      "but only "),
                 qPrintable(progress.errors().first()));
        QVERIFY(!QFileInfo::exists(m_tempFolder + '/' + kUdid));   // refused before the phone was asked

        RecordingProgress fits;
        backUp(fits);
        QCOMPARE(fits.errors(), QStringList());
        const QList<RecordingProgress::Report> reports = fits.reports();
        QVERIFY(std::any_of(reports.begin(), reports.end(), [](const RecordingProgress::Report &report) {
            return report.text.startsWith("First backup of this iPhone: up to ");
        }));
    }

    // A new phone takes the backup of the old one: the request names both.
    void restoreOntoAnotherPhone()
    {
        const QString other = QStringLiteral("00008110-000F0E0D0C0B0A09");
        const SimPhoneFolder newPhone = m_sim.add(PhoneSetup(other, PhoneKik::AppStore)).folder;
        writeFileBytes(kikFile(), "from the old phone");
        backUpOrFail();
        QVERIFY(m_sim.waitForPlugIn(other));
        DeviceDescription target = device();
        target.udid = other;
        RecordingProgress progress;
        IOSMobileRestoreThread worker(target, m_tempFolder, &progress);
        worker.setSourceUdid(kUdid);
        progress.run(worker);
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(readFileBytes(kikStorePath(newPhone)), QByteArray("from the old phone"));
        const QList<QJsonObject> requests =
            PhoneLog::entries(newPhone, {{"service", "com.apple.mobilebackup2"}, {"kind", "plist"}});
        QVERIFY(std::any_of(requests.begin(), requests.end(), [&](const QJsonObject &entry) {
            const QJsonObject request = entry.value("request").toArray().at(1).toObject();
            return request.value("SourceIdentifier") == kUdid && request.value("TargetIdentifier") == other;
        }));
    }

    // A phone that sends nothing is waited for while it prepares (or waits for its passcode), but
    // not for ever.
    void aSilentPhoneIsGivenUpAfterTheLimit()
    {
        qputenv("PARLEWICK_PHONE_PREPARE_SECONDS", "1");
        phone().setFaults({{"DeviceLocked", true}, {"PasscodeTimeout", 60}});
        RecordingProgress progress;
        backUp(progress);
        phone().setFaults({});
        qunsetenv("PARLEWICK_PHONE_PREPARE_SECONDS");
        QCOMPARE(progress.errors().size(), 1);
        QVERIFY2(progress.errors().first().startsWith("The iPhone stopped sending for 1 second while it was still connected."),
                 qPrintable(progress.errors().first()));
        QCOMPARE(progress.notices().first(), AbsDeviceBackupThread::passcodeNotice());
        QCOMPARE(progress.notices().last(), QString());
    }
};

QTEST_GUILESS_MAIN(TestDeviceBackupOnPhone)
#include "TestDeviceBackupOnPhone.moc"
