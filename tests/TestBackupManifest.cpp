#include "TestEnv.h"

#include "ItunesBackupBuilder.h"
#include "app/FileUtils.h"
#include "itunes/BackupDiscovery.h"
#include "itunes/BackupManifest.h"
#include "plist/CFType.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString errorOf(BackupManifest &backup)
{
    try {
        backup.readInfo();
    } catch (const std::runtime_error &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

}   // namespace

class TestBackupManifest : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void readsMetadata()
    {
        ItunesBackupBuilder::Device device;
        device.deviceName = QStringLiteral("Ann's iPhone");
        ItunesBackupBuilder builder(device);
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/x"), "x");
        builder.setPassword(QStringLiteral("pw"), 10);
        const QString folder = env.path(QStringLiteral("meta/") + device.uniqueDeviceId);
        builder.build(folder);

        BackupManifest backup(folder);
        backup.readInfo();
        QCOMPARE(backup.uniqueDeviceId(), device.uniqueDeviceId);
        QCOMPARE(backup.deviceName(), device.deviceName);
        QCOMPARE(backup.productType(), device.productType);
        QCOMPARE(backup.productVersion(), device.productVersion);
        QCOMPARE(backup.serialNumber(), device.serialNumber);
        QCOMPARE(backup.backupDate(), device.date);
        QCOMPARE(backup.encrypted(), 1);   // written as a boolean
        QCOMPARE(backup.keybagBlob(), builder.keybag());
        QCOMPARE(backup.folder(), QDir(folder).absolutePath());
    }

    void displayNames_data()
    {
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<QString>("expected");
        const QString udid = ItunesBackupBuilder::Device().uniqueDeviceId;
        QTest::newRow("named after the device id") << udid << "Test iPhone";
        QTest::newRow("device id and date stamp") << udid + "-20160314-092653"
                                                  << "Test iPhone-20160314-092653";
        QTest::newRow("other name") << "Copied backup"
                                    << "Test iPhone-Copied backup";
        QTest::newRow("device id in other case") << udid.toUpper() << "Test iPhone-" + udid.toUpper();
    }
    void displayNames()
    {
        QFETCH(QString, folderName);
        QFETCH(QString, expected);
        ItunesBackupBuilder builder;
        const QString folder = env.path(QStringLiteral("names/") + folderName);
        builder.build(folder);
        BackupManifest backup(folder);
        backup.readInfo();
        QCOMPARE(backup.displayName(), expected);
        QCOMPARE(backup.encrypted(), 0);
        QVERIFY(backup.keybagBlob().isEmpty());
    }

    void missingUnreadableAndUnparsablePlists()
    {
        const QString missing = env.path(QStringLiteral("missing"));
        QDir().mkpath(missing);
        BackupManifest none(missing + QStringLiteral("/."));
        QCOMPARE(errorOf(none), QStringLiteral("Cannot find ") + QDir(missing).filePath(QStringLiteral("Manifest.plist")));

        const QString unreadable = env.path(QStringLiteral("unreadable"));
        writeBytes(unreadable + QStringLiteral("/Manifest.plist"), "<plist/>");
        QFile::setPermissions(unreadable + QStringLiteral("/Manifest.plist"), QFileDevice::Permissions());
        BackupManifest locked(unreadable);
        if (QFile(unreadable + QStringLiteral("/Manifest.plist")).open(QIODevice::ReadOnly))
            qInfo("running with rights to read any file: unreadable case not checked");
        else
            QVERIFY(!errorOf(locked).isEmpty());

        const QString garbage = env.path(QStringLiteral("garbage"));
        writeBytes(garbage + QStringLiteral("/Manifest.plist"), QByteArray("\x00\x01not a plist at all", 20));
        BackupManifest broken(garbage);
        // Taken for an empty list, a damaged manifest would make an encrypted backup look plain.
        QCOMPARE(errorOf(broken), garbage
                                      + QStringLiteral("/Manifest.plist is damaged: it is not the property list "
                                                       "of an iTunes Backup."));
    }

    // A manifest that cannot say for sure whether the backup is encrypted is refused, so that
    // no encrypted file is ever taken for a plain one.
    void encryptedFlagAsNumberAndDamagedManifests()
    {
        CFType root = CFType::newDictionary();
        root.setValue(QStringLiteral("IsEncrypted"), CFType::fromInt64(1));
        root.setValue(QStringLiteral("BackupKeyBag"), CFType(QByteArray("bag")));
        const QString folder = env.path(QStringLiteral("numeric"));
        writeBytes(folder + QStringLiteral("/Manifest.plist"), root.toPlistData(CFType::XmlFormat));
        BackupManifest backup(folder);
        backup.readInfo();
        QCOMPARE(backup.encrypted(), 1);
        QVERIFY(backup.deviceName().isEmpty());
        QCOMPARE(backup.keybagBlob(), QByteArray("bag"));

        const QByteArray whole = root.toPlistData(CFType::XmlFormat);
        CFType noBag = CFType::newDictionary();
        noBag.setValue(QStringLiteral("IsEncrypted"), CFType::fromBool(true));
        CFType textFlag = CFType::deepCopy(root);
        textFlag.setValue(QStringLiteral("IsEncrypted"), CFType(QStringLiteral("YES")));
        CFType noFlag = CFType::newDictionary();
        noFlag.setValue(QStringLiteral("BackupKeyBag"), CFType(QByteArray("bag")));
        const QString damaged = folder + QStringLiteral("/Manifest.plist is damaged: ");
        const QList<QPair<QByteArray, QString>> cases = {
            {whole.left(whole.size() / 2), QStringLiteral("it is not the property list of an iTunes Backup.")},
            {noBag.toPlistData(CFType::BinaryFormat), QStringLiteral("the backup is encrypted but its keybag is missing.")},
            {textFlag.toPlistData(CFType::XmlFormat), QStringLiteral("it does not say whether the backup is encrypted.")},
            {noFlag.toPlistData(CFType::XmlFormat), QStringLiteral("it does not say whether the backup is encrypted.")},
        };
        for (const auto &[bytes, why] : cases) {
            writeBytes(folder + QStringLiteral("/Manifest.plist"), bytes);
            BackupManifest again(folder);
            QCOMPARE(errorOf(again), damaged + why);
        }
    }

    void identityKeyIgnoresPathSpelling()
    {
        const QString folder = env.path(QStringLiteral("id/backup"));
        QDir().mkpath(folder);
        const QString key = BackupManifest(folder).identityKey();
        QCOMPARE(key, md5Hex(QDir(folder).absolutePath()));
        QCOMPARE(key.size(), 32);
        QCOMPARE(BackupManifest(folder + QStringLiteral("/")).identityKey(), key);
        QCOMPARE(BackupManifest(env.path(QStringLiteral("id/other/../backup"))).identityKey(), key);
        QVERIFY(BackupManifest(env.path(QStringLiteral("id/other"))).identityKey() != key);
    }

    void backupRoots()
    {
        const QString home = env.path(QStringLiteral("roots"));
        const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
        const QString native = QDir::cleanPath(xdg + QStringLiteral("/MobileSync/Backup"));
        QCOMPARE(backupRootFolders(home), QStringList{native});

        // Only the older Windows place exists: it is listed.
        const QString older = home + QStringLiteral("/Application Data/Apple Computer/MobileSync/Backup");
        QDir().mkpath(older);
        QCOMPARE(backupRootFolders(home), (QStringList{older, native}));

        const QString roaming = home + QStringLiteral("/AppData/Roaming/Apple Computer/MobileSync/Backup");
        QDir().mkpath(roaming);
        QCOMPARE(backupRootFolders(home), (QStringList{roaming, older, native}));

        // The Microsoft Store iTunes keeps its backups under the user's own folder.
        const QString store = home + QStringLiteral("/Apple/MobileSync/Backup");
        QDir().mkpath(store);
        QCOMPARE(backupRootFolders(home), (QStringList{roaming, older, store, native}));

        QVERIFY(backupRootProblem(store).isEmpty());
        QVERIFY(backupRootProblem(home + QStringLiteral("/missing")).isEmpty());
        QVERIFY(unreadableRootText(home + QStringLiteral("/Library/Application Support/MobileSync/Backup"))
                    .contains(QStringLiteral("Full Disk Access")));
        QVERIFY(!unreadableRootText(store).contains(QStringLiteral("Full Disk Access")));

        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(backupRootFolders(home).last(), home + QStringLiteral("/.local/share/MobileSync/Backup"));
        qputenv("XDG_DATA_HOME", xdg.toUtf8());
    }

    void backupFoldersNeedAFileListAndManifestPlist()
    {
        const QString root = env.path(QStringLiteral("scan"));
        const QDateTime base(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
        const QStringList names = {QStringLiteral("newer"), QStringLiteral("older"), QStringLiteral("noMbdb"),
                                   QStringLiteral("noPlist"), QStringLiteral("modern")};
        for (const QString &name : names) {
            if (name == QStringLiteral("modern"))
                writeBytes(root + QLatin1Char('/') + name + QStringLiteral("/Manifest.db"), "SQLite format 3");
            else if (name != QStringLiteral("noMbdb"))
                writeBytes(root + QLatin1Char('/') + name + QStringLiteral("/Manifest.mbdb"), "mbdb\x05");
            if (name != QStringLiteral("noPlist"))
                writeBytes(root + QLatin1Char('/') + name + QStringLiteral("/Manifest.plist"), "<plist/>");
        }
        writeBytes(root + QStringLiteral("/Manifest.plist"), "a file, not a folder");
        auto age = [&](const QString &name, int days) {
            const qint64 secs = base.addDays(days).toSecsSinceEpoch();
            const struct timespec times[2] = {{secs, 0}, {secs, 0}};
            const QByteArray path = QFile::encodeName(root + QLatin1Char('/') + name);
            QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
        };
        age(QStringLiteral("newer"), 10);
        age(QStringLiteral("older"), 1);
        age(QStringLiteral("modern"), 5);
        QCOMPARE(backupFolders(root), (QStringList{root + QStringLiteral("/older"), root + QStringLiteral("/modern"),
                                                   root + QStringLiteral("/newer")}));
        QCOMPARE(backupFormatOf(root + QStringLiteral("/modern")), BackupFormat::FilesDb);
        QCOMPARE(backupFormatOf(root + QStringLiteral("/older")), BackupFormat::Mbdb);
        QCOMPARE(backupFormatOf(root + QStringLiteral("/noMbdb")), BackupFormat::None);
        QVERIFY(backupFolders(env.path(QStringLiteral("no such root"))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBackupManifest)
#include "TestBackupManifest.moc"
