// Where device backups are kept: a folder only the user can open, the one the user chose, what
// earlier versions left at a volume's root, and its removal.

#include "TestEnv.h"
#include "TestFiles.h"

#include "app/AppFolders.h"
#include "app/Preferences.h"
#include "device/TempBackupFolder.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

const QString kUdid = QStringLiteral("00008110-000A1B2C3D4E5F60");

bool ownerOnly(const QString &path)
{
    return QFile::permissions(path)
           == (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser
               | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

void chooseInPreferences(const QString &folder)
{
    Preferences preferences = Preferences::load();
    preferences.deviceBackupFolder = folder;
    preferences.save();
}

// What an earlier version left: a readable copy of the phone at a root it remembered.
QString leaveEarlierBackup(const QString &root)
{
    const QString earlier = root + QLatin1Char('/') + QLatin1String(TempBackupFolderName);
    writeFileBytes(earlier + QLatin1Char('/') + kUdid + QStringLiteral("/Status.plist"), "finished");
    writeFileBytes(QDir(dataFolder()).filePath(QLatin1String(TempBackupRootFileName)), root.toUtf8());
    return earlier;
}

}   // namespace

class TestTempBackupFolder : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void init()
    {
        chooseInPreferences(QString());
        setDeviceBackupRootForThisRun(QString());
        clearTempBackupFolder();
    }

    void keptPrivatelyWhereTheUserSays()
    {
        QCOMPARE(deviceBackupRoot(), defaultDeviceBackupRoot());
        QVERIFY(defaultDeviceBackupRoot().startsWith(env.home()));
        const QString phone = privateDeviceBackupFolderThrow(kUdid);
        QCOMPARE(phone, defaultDeviceBackupRoot() + QLatin1Char('/') + kUdid);
        QVERIFY(ownerOnly(defaultDeviceBackupRoot()) && ownerOnly(phone));
        // A phone folder the backup tool made readable is closed again.
        QVERIFY(QFile::setPermissions(phone, QFile::permissions(phone) | QFileDevice::ReadOther | QFileDevice::ExeOther));
        privateDeviceBackupFolderThrow(kUdid);
        QVERIFY(ownerOnly(phone));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, privateDeviceBackupFolderThrow(QStringLiteral("../x")));

        chooseInPreferences(env.path(QStringLiteral("chosen/backups")));
        QCOMPARE(chooseTempBackupFolder(), env.path(QStringLiteral("chosen/backups")));
        QVERIFY(ownerOnly(env.path(QStringLiteral("chosen/backups"))));   // made by the program
        setDeviceBackupRootForThisRun(env.path(QStringLiteral("run")));   // --backup-dir
        QCOMPARE(deviceBackupRoot(), env.path(QStringLiteral("run")));
        QVERIFY(QFile::link(env.path(QStringLiteral("chosen")), env.path(QStringLiteral("run"))));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, chooseTempBackupFolder());
    }

    void earlierFolderIsMovedInOrLeftAlone()
    {
        QCOMPARE(retireEarlierBackupFolder(), QString());   // nothing left: nothing to say

        const QString earlier = leaveEarlierBackup(env.path(QStringLiteral("disk")));
        const QString told = retireEarlierBackupFolder();
        QVERIFY2(told.contains(QLatin1String("It was moved to")), qPrintable(told));
        const QString moved = defaultDeviceBackupRoot() + QLatin1Char('/') + kUdid;
        QCOMPARE(readFileBytes(moved + QStringLiteral("/Status.plist")), QByteArray("finished"));
        QVERIFY(ownerOnly(moved));
        QVERIFY(!QFileInfo::exists(earlier));
        QCOMPARE(retireEarlierBackupFolder(), QString());   // told once

        // A link in its place is never followed: what it leads to stays.
        const QString elsewhere = env.path(QStringLiteral("elsewhere"));
        writeFileBytes(elsewhere + QStringLiteral("/keep"), "someone's");
        QVERIFY(QDir().mkpath(env.path(QStringLiteral("disk2"))));
        writeFileBytes(QDir(dataFolder()).filePath(QLatin1String(TempBackupRootFileName)),
                       env.path(QStringLiteral("disk2")).toUtf8());
        QVERIFY(QFile::link(elsewhere, env.path(QStringLiteral("disk2/")) + QLatin1String(TempBackupFolderName)));
        QVERIFY(retireEarlierBackupFolder().contains(QLatin1String("left alone")));
        QCOMPARE(readFileBytes(elsewhere + QStringLiteral("/keep")), QByteArray("someone's"));
    }

    void clearingRemovesOnlyTheBackups()
    {
        privateDeviceBackupFolderThrow(kUdid);
        clearTempBackupFolder();
        QVERIFY(!QFileInfo::exists(defaultDeviceBackupRoot()));

        const QString chosen = env.path(QStringLiteral("mine"));
        chooseInPreferences(chosen);
        writeFileBytes(chosen + QLatin1Char('/') + kUdid + QStringLiteral("/Manifest.plist"), "x");
        writeFileBytes(chosen + QStringLiteral("/notes/Info.txt"), "mine");
        writeFileBytes(chosen + QStringLiteral("/keep.txt"), "mine");
        clearTempBackupFolder();
        QVERIFY(!QFileInfo::exists(chosen + QLatin1Char('/') + kUdid));
        QCOMPARE(treeOf(chosen).keys(), (QStringList{"keep.txt", "notes/Info.txt"}));
    }

    void freeSpaceOfAFolder()
    {
        QVERIFY(freeDiskSpace(env.home()) > 0);
        QCOMPARE(freeDiskSpace(env.path(QStringLiteral("no/such/folder"))), qint64(-1));
    }
};

QTEST_GUILESS_MAIN(TestTempBackupFolder)
#include "TestTempBackupFolder.moc"
