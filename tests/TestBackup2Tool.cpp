// The driver of the device backup tool, run against a fake tool and a simulated iPhone.

#include "TestEnv.h"
#include "TestFiles.h"
#include "ThrownText.h"

#include "FakeBackupTool.h"
#include "device/BackupToolVerdict.h"
#include "device/MobileDeviceFrameworks.h"
#include "device/MobileDeviceHandle.h"
#include "device/backup2tool.h"
#include "simiphone/SimulatedIPhone.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <functional>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
constexpr qint64 kMiB = 1024 * 1024;

// What a backup the phone finished leaves for the tool to end with.
QString finishedBackup(const QString &then = QStringLiteral("exit 0"))
{
    return QStringLiteral("mkdir -p \"$ROOT/%1\" && printf '<plist><dict><key>SnapshotState</key>"
                          "<string>finished</string></dict></plist>' > \"$ROOT/%1/Status.plist\"; %2")
        .arg(kUdid, then);
}

}   // namespace

class TestBackup2Tool : public QObject
{
    Q_OBJECT
    TestEnv env;
    QString m_root = env.path(QStringLiteral("backups"));

private slots:
    void argumentsNameThePhoneAndTheRoot()
    {
        FakeBackupTool fake(env.path(QStringLiteral("bin")));
        fake.write(finishedBackup());
        backup2tool tool(nullptr, kUdid, m_root);

        tool.run(backup2tool_backup);
        QCOMPARE(fake.arguments(), (QStringList{"-u", kUdid, "backup", m_root}));
        // The tool wants the root folder to exist before a backup.
        QVERIFY(QFileInfo(m_root).isDir());

        tool.run(backup2tool_restore);
        QCOMPARE(fake.arguments(), (QStringList{"-u", kUdid, "-s", kUdid, "restore", "--system", "--settings", m_root}));

        QCOMPARE(thrownText([&] { tool.arguments(static_cast<backup2tool_op>(7)); }), QStringLiteral("unknown backup2tool_op."));
    }

    // The exit status and Status.plist decide, not the words: 1.3.0 exits 0 after "Backup Failed
    // (Error Code 0)" when the phone did not finish.
    void onlyAFinishedBackupIsASuccess()
    {
        FakeBackupTool fake(env.path(QStringLiteral("bin")));
        backup2tool tool(nullptr, kUdid, m_root);
        QDir(m_root + QLatin1Char('/') + kUdid).removeRecursively();

        fake.write(QStringLiteral("echo 'Backup Failed (Error Code 0).'; exit 0"));
        QCOMPARE(thrownText([&] { tool.run(backup2tool_backup); }),
                 QStringLiteral("The iPhone did not finish the backup. Reconnect the iPhone and try again."));

        fake.write(finishedBackup(QStringLiteral("echo 'file error.log received'; echo 'Backup Successful.'")));
        QCOMPARE(thrownText([&] { tool.run(backup2tool_backup); }), QStringLiteral("(nothing thrown)"));
        // A restore leaves Status.plist as it was: its exit status decides.
        fake.write(QStringLiteral("echo 'Restore Successful.'"));
        QCOMPARE(thrownText([&] { tool.run(backup2tool_restore); }), QStringLiteral("(nothing thrown)"));

        // A code the program does not know: the tool's line and the code; output after a NUL is not read.
        fake.write(QStringLiteral("echo 'ErrorCode 212: Unable to backup until Setup is finished (MBErrorDomain/212)'; "
                                  "printf 'Backup Failed\\000ErrorCode 208: x'; exit 44"));
        QCOMPARE(thrownText([&] { tool.run(backup2tool_backup); }),
                 QStringLiteral("ErrorCode 212: Unable to backup until Setup is finished (MBErrorDomain/212)\n"
                                "fakebackup ended with error code 212."));
        // Without the line, the exit status names the device error.
        fake.write(QStringLiteral("exit 48"));
        QVERIFY(thrownText([&] { tool.run(backup2tool_restore); }).startsWith("The iPhone is locked."));
    }

    void progressComesFromTheToolsBars()
    {
        QCOMPARE(backupToolProgress("\r[=====        ]  12% Finished\n\r[=======    ]  45% (1.2 MB/3.4 MB)  "), 45.0);
        QCOMPARE(backupToolProgress("Receiving files\nSending 'x' (3 KB)\n"), -1.0);
        QCOMPARE(backupToolProgress("] 100% Finished\n"), 100.0);

        FakeBackupTool fake(env.path(QStringLiteral("bin")));
        fake.write(QStringLiteral("printf '\\r[====   ]  30%% Finished\\n'; sleep 1; printf '[=]  100%%\\n'; sleep 1"));
        backup2tool tool(nullptr, kUdid, m_root);
        QSignalSpy updates(&tool, &backup2tool::update);
        tool.run(backup2tool_restore);
        QList<double> seen;
        for (const QList<QVariant> &update : updates)
            seen << update.at(0).toDouble();
        QVERIFY2(seen.contains(30.0) && seen.last() == 99.0, qPrintable(QString::number(seen.last())));
    }

    void failingToolIsNeverASuccess()
    {
        FakeBackupTool fake(env.path(QStringLiteral("bin")));
        backup2tool tool(nullptr, kUdid, m_root);

        fake.write(QStringLiteral("echo 'No device found with udid.'; exit 255"));
        QCOMPARE(thrownText([&] { tool.run(backup2tool_backup); }),
                 QStringLiteral("No device found with udid.\nfakebackup ended with exit code 255."));

        fake.write(QStringLiteral("exit 3"));
        QCOMPARE(thrownText([&] { tool.run(backup2tool_restore); }), QStringLiteral("fakebackup ended with exit code 3."));

        fake.write(QStringLiteral("kill -SEGV $$"));
        QCOMPARE(thrownText([&] { tool.run(backup2tool_backup); }), QStringLiteral("fakebackup stopped unexpectedly."));
    }

    void missingToolCannotStart()
    {
        FakeBackupTool fake(env.path(QStringLiteral("nowhere")), QStringLiteral("idevicebackup2"));
        backup2tool tool(nullptr, kUdid, m_root);
        QVERIFY(thrownText([&] {
                    tool.run(backup2tool_backup);
                }).startsWith(QStringLiteral("can not start idevicebackup2 process: it is not installed or may not be run (")));

        // Without the override the tool is looked for on PATH.
        const QByteArray path = qgetenv("PATH");
        qunsetenv("PARLEWICK_BACKUP_TOOL");
        qputenv("PATH", env.path(QStringLiteral("emptybin")).toLocal8Bit());
        QVERIFY(thrownText([&] {
                    tool.run(backup2tool_backup);
                }).startsWith(QStringLiteral("can not start idevicebackup2 process: it is not installed or may not be run (")));
        QCOMPARE(backup2tool::toolPath(), QStringLiteral("idevicebackup2"));
        fake.write(finishedBackup());
        qputenv("PATH", env.path(QStringLiteral("nowhere")).toLocal8Bit());
        QCOMPARE(backup2tool::toolPath(), fake.path());
        QVERIFY(backup2tool::needsInfoPlistToRestore());
        tool.run(backup2tool_backup);
        qputenv("PATH", path);
    }

    void progressGrowsWithTheSecondsPassed()
    {
        FakeBackupTool fake(env.path(QStringLiteral("bin")));
        // The tool runs until the test has seen a whole second pass, however slow the machine.
        const QString done = env.path(QStringLiteral("second-seen"));
        fake.write(finishedBackup(QStringLiteral("while [ ! -e '%1' ]; do sleep 0.05; done").arg(done)));
        backup2tool tool(nullptr, kUdid, m_root);   // no phone: a 60 s estimate
        QMap<qint64, double> progressAt;
        bool ordered = true;
        QObject::connect(&tool, &backup2tool::update, [&](double progress, const QString &status, const QString &text) {
            static const QRegularExpression secondsPassed(QStringLiteral("^(\\d+) seconds passed$"));
            const QRegularExpressionMatch match = secondsPassed.match(text);
            QVERIFY2(match.hasMatch() && status.isEmpty(), qPrintable(text));
            const qint64 seconds = match.captured(1).toLongLong();
            ordered = ordered && (progressAt.isEmpty() || (seconds >= progressAt.lastKey() && progress >= progressAt.last()));
            progressAt.insert(seconds, progress);
            if (seconds >= 1)
                writeFileBytes(done, "1");
        });
        tool.run(backup2tool_backup);

        QVERIFY(ordered);
        QCOMPARE(progressAt.value(0, 0.0), 0.0);
        QCOMPARE(progressAt.value(1), 1.65);
    }

    void estimateFollowsTheUsedStorage()
    {
        QCOMPARE(backup2tool::estimateSeconds(64 * 1024 * kMiB, 64 * 1024 * kMiB - 10240 * kMiB), 307);
        QCOMPARE(backup2tool::estimateSeconds(100 * kMiB, 100 * kMiB), 60);   // nothing used
        QCOMPARE(backup2tool::estimateSeconds(100 * kMiB, 200 * kMiB), 60);   // nonsense
        QCOMPARE(backup2tool::estimateSeconds(100 * kMiB, 90 * kMiB), 1);     // never 0 s

        QVERIFY(qAbs(backup2tool::progressAfter(30, 307) - 9.6743) < 0.001);
        QCOMPARE(backup2tool::progressAfter(60, 60), 99.0);
        QCOMPARE(backup2tool::progressAfter(6000, 60), 99.0);
    }

    void estimateReadsTheSimulatedPhone()
    {
        QString error;
        QVERIFY2(loadMobileDeviceFrameworks(&error), qPrintable(error));
        SimulatedIPhone sim(env.path(QStringLiteral("phones")));
        SimPhoneFolder phone = sim.createPhone(kUdid);
        const QString domain = QStringLiteral("com.apple.disk_usage");
        phone.setLockdownValue(domain, QStringLiteral("TotalDataCapacity"), 64 * 1024 * kMiB);
        phone.setLockdownValue(domain, QStringLiteral("AmountDataAvailable"), 64 * 1024 * kMiB - 10240 * kMiB);
        sim.start();

        backup2tool tool(MobileDeviceHandle::attach(kUdid), kUdid, m_root);
        QCOMPARE(tool.estimateDurationSeconds(), 307);

        phone.setFault(QStringLiteral("LockdownErrors"), QVariantMap{{"GetValue:" + domain, "MissingValue"}});
        QCOMPARE(tool.estimateDurationSeconds(), 60);
        phone.setFault(QStringLiteral("LockdownErrors"), QVariant());

        QCOMPARE(tool.estimateDurationSeconds(), 307);
        phone.setFault(QStringLiteral("MobileBackupErrors"), QVariantMap{{"Backup", 205}});
        realToolFailureIsNeverASuccess(tool);
        phone.setFault(QStringLiteral("MobileBackupErrors"), QVariant());

        phone.setUnplugged(true);
        QTRY_COMPARE(tool.estimateDurationSeconds(), 60);
        phone.setUnplugged(false);

        phone.setLockdownValue(domain, QStringLiteral("AmountDataAvailable"), QStringLiteral("plenty"));
        QCOMPARE(tool.estimateDurationSeconds(), 60);
        sim.stop();
    }

    void cancelKillsTheToolAndReturns()
    {
        FakeBackupTool fake(env.path(QStringLiteral("bin")));
        // exec: the pid written is the process that must be gone afterwards.
        fake.write(QStringLiteral("echo $$ > \"$NOTE\"; exec sleep 30"));
        backup2tool tool(nullptr, kUdid, m_root);
        // Canceled through cancel() once the tool is surely running: it has written its note.
        tool.setCancelCheck([&tool, &fake] {
            if (!fake.note().isEmpty())
                tool.cancel();
            return false;
        });
        QCOMPARE(thrownText([&] { tool.run(backup2tool_backup); }), QStringLiteral("(canceled)"));   // never a success
        const pid_t pid = fake.note().trimmed().toInt();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), -1);

        // The next run starts afresh; a cancel check stops it too.
        fake.write(QStringLiteral("echo $$ > \"$NOTE\"; exec sleep 30"));
        tool.setCancelCheck([&fake] { return !fake.note().isEmpty(); });
        QCOMPARE(thrownText([&] { tool.run(backup2tool_restore); }), QStringLiteral("(canceled)"));
        QCOMPARE(::kill(fake.note().trimmed().toInt(), 0), -1);
    }

private:
    // The simulated phone's backup fails with a device error: idevicebackup2 ends with a
    // non-zero exit code, and that must never be taken for a finished backup.
    void realToolFailureIsNeverASuccess(backup2tool &tool)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("idevicebackup2")).isEmpty()) {
            qWarning("idevicebackup2 is not installed; its run is not checked");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        tool.setCancelCheck([&clock] { return clock.elapsed() > 60000; });
        const QString error = thrownText([&] { tool.run(backup2tool_backup); });
        tool.setCancelCheck({});
        QVERIFY2(error != QStringLiteral("(nothing thrown)"), "a failed backup was reported as done");
        QVERIFY2(clock.elapsed() < 60000, "idevicebackup2 did not end");
    }
};

QTEST_GUILESS_MAIN(TestBackup2Tool)
#include "TestBackup2Tool.moc"
