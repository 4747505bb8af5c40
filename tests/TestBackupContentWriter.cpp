// Messages written into Kik's store inside a modern encrypted backup, checked by decrypting the
// backup independently with the fixture's keys; cancels and failures at each stage of a write.

#include "TestEnv.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"
#include "KikBackupFixture.h"
#include "KikBackupReadBack.h"
#include "KikDataBuilder.h"
#include "RecordingProgress.h"
#include "ThrownText.h"
#include "db/Sqlite3Cursor.h"
#include "db/Sqlite3DB.h"
#include "device/DeviceCacheFolder.h"
#include "itunes/AesCbcDecryptor.h"
#include "itunes/BackupContentWriter.h"
#include "itunes/BackupCrypto.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "itunes/ManifestDb.h"
#include "itunes/MbFileArchive.h"
#include "kikstore/KikStoreGenerator.h"
#include "plist/CFType.h"
#include "workers/BackupFileMergeThread.h"
#include "workers/IOSLoadKikFromiTunesThread.h"
#include "workers/IOSRestoreKikMsgThread.h"
#include "workers/KikBackupAccounts.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QtTest>

namespace {

const QString kGroupDomain = QStringLiteral("AppDomainGroup-group.com.kik.chat");
const QString kPassword = QStringLiteral("pw");

QByteArray decrypt(QByteArray cipher, const QByteArray &key)
{
    if (cipher.isEmpty() || cipher.size() % 16 != 0)
        return "not whole blocks";
    AesCbcDecryptor(key).decrypt(reinterpret_cast<const uchar *>(cipher.constData()), reinterpret_cast<uchar *>(cipher.data()),
                                 size_t(cipher.size()));
    return pkcs7Unpad(cipher) ? cipher : QByteArray("bad padding");
}

// Files with their bytes, and folders, so that an empty folder left behind shows too.
QMap<QString, QByteArray> everything(const QString &folder)
{
    QMap<QString, QByteArray> all = treeOf(folder);
    QDirIterator it(folder, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        all.insert(QDir(folder).relativeFilePath(it.next()) + QLatin1Char('/'), QByteArray());
    return all;
}

}   // namespace

class TestBackupContentWriter : public QObject
{
    Q_OBJECT
    TestEnv env;
    ItunesBackupBuilder builder;
    QString backupFolder;
    QString account;

    QSharedPointer<BackupManifest> openBackup(const QString &folder)
    {
        auto backup = QSharedPointer<BackupManifest>::create(folder);
        backup->readInfo();
        if (backup->encrypted() && !backup->unlock(Secret::fromUtf8(kPassword.toUtf8())))
            return {};
        backup->load();
        return backup;
    }

    KikDataSetPtr readBack(const QString &folder, KikBackupLocation *location = nullptr)
    {
        return readKikBack(openBackup(folder), env.path("read-back"), location);
    }

    // The export's two workers, as the window runs them; the merge's errors and successes.
    QStringList transfer(const QString &folder, const KikMessageList &messages,
                         std::function<bool(const RecordingProgress::Report &)> cancelWhen = {})
    {
        KikBackupLocation location;
        if (!readBack(folder, &location))
            return {QStringLiteral("no Kik")};
        DeviceDescription device;
        device.udid = QStringLiteral("virtual_test");
        RecordingProgress loading;
        IOSLoadKikFromiTunesThread extract(openBackup(folder), &loading, deviceCacheFolder(device));
        loading.run(extract);
        RecordingProgress restoring;
        IOSRestoreKikMsgThread restore(device, messages, &restoring);
        restore.setDirect(false);
        restoring.run(restore);
        if (!restoring.errors().isEmpty())
            return restoring.errors();
        return merge(folder, placedInBackup(restore.fileList(), location), std::move(cancelWhen));
    }

    QStringList merge(const QString &folder, const IOSFileItemList &files,
                      std::function<bool(const RecordingProgress::Report &)> cancelWhen = {})
    {
        RecordingProgress progress;
        if (cancelWhen)
            progress.cancelWhen(std::move(cancelWhen));
        BackupWriteLock lock(folder);
        lock.acquireOrBusyThrow();
        BackupFileMergeThread worker(openBackup(folder), lock, files, &progress);
        progress.run(worker);
        return progress.errors() + progress.successes();
    }

    // Reads the backup with the fixture's keys and the raw crypto only: Manifest.db decrypts
    // and is sound, every file row's payload decrypts to its Size and matches its Digest.
    // Returns the number of file rows, or -1 after a failed check.
    int independentlyReadRows(const QString &folder)
    {
        const QString plain = env.path("independent/Manifest.db");
        QDir().mkpath(env.path("independent"));
        QFile::remove(plain);
        writeFileBytes(plain, decrypt(readFileBytes(folder + "/Manifest.db"), builder.manifestDbKey()));
        Sqlite3DB db;
        db.openThrow(plain, Sqlite3DB::ReadOnly);
        Sqlite3Cursor integrity = db.queryThrow("PRAGMA integrity_check");
        if (!integrity.moveNext() || integrity.getBlob(0) != "ok")
            return -1;
        int rows = 0;
        Sqlite3Cursor files = db.queryThrow("SELECT fileID, file FROM Files WHERE flags=1");
        while (files.moveNext()) {
            const QString name = QString::fromLatin1(files.getBlob(0));
            MbdbRecord rec;
            if (!MbFileArchive::decode(files.getBlob(1), rec))
                return -1;
            const QByteArray stored = readFileBytes(folder + "/" + name.left(2) + "/" + name);
            const QByteArray key = aesKeyUnwrap(builder.classKey(rec.protectionClass), rec.encryptionKey.bytes.mid(4));
            const QByteArray content = decrypt(stored, key);
            if (key.isEmpty() || quint64(content.size()) != rec.size) {
                qWarning("%s: %lld bytes, Size %llu", qPrintable(name), qint64(content.size()), rec.size);
                return -1;
            }
            if (!rec.dataHash.isEmpty() && rec.dataHash.bytes != QCryptographicHash::hash(stored, QCryptographicHash::Sha1))
                return -1;
            ++rows;
        }
        const CFType status = CFType::fromPlistFile(folder + "/Status.plist");
        return status.value(QStringLiteral("SnapshotState")).toQString() == "finished" ? rows : -1;
    }

    KikMessageList newMessages(KikDataSet &set)
    {
        KikDataBuilder b(set);
        KikChat *chat = b.addChat(b.addUser(QStringLiteral("Modern Pal"), QStringLiteral("modernpal_a@talk.kik.com")));
        const QDateTime base(QDate(2023, 5, 6), QTime(7, 8), Qt::UTC);
        KikMessageList messages{b.addMessage(chat, base, QStringLiteral("into the group store"), true),
                                b.addMessage(chat, base.addSecs(30), QStringLiteral("and back"), false)};
        KikMessage *picture = b.addMessage(chat, base.addSecs(60), QString(), false);
        picture->content_id = QStringLiteral("fresh-content");
        picture->app_id = QStringLiteral("com.kik.ext.gallery");
        picture->attachment.insert(QStringLiteral("file-name"), QStringLiteral("p.jpg"));
        return messages << picture;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::installEnglishTexts());
        qputenv("TMPDIR", env.path("tmp").toUtf8());
        QVERIFY(QDir().mkpath(env.path("tmp")));
        KikStoreOptions options;
        options.contacts = 3;
        options.chats = 2;
        options.messagesPerChat = 6;
        options.attachmentShare = 0.5;
        const GeneratedKikStore store = KikStoreGenerator(options).generate(env.path("kik"));
        ItunesBackupDevice device;
        device.productVersion = QStringLiteral("17.5");
        builder = ItunesBackupBuilder(device);
        builder.setFormat(BackupFormat::FilesDb);
        builder.setPassword(kPassword, 10);
        builder.setKeybagFormat(ItunesBackupBuilder::KeybagFormat::Modern, 10);
        account = kikFixtureAccountId(1);
        addKikToBackup(builder, store.rootFolder, KikFixturePlace::Group, account);
        writeFileBytes(env.path("kik/Documents/kik.sqlite-wal"), QByteArray(4096, 'w'));
        builder.addLocalFile(kGroupDomain, "cores/private/" + account + "/kik.sqlite-wal",
                             env.path("kik/Documents/kik.sqlite-wal"));
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"), "sms");
        ItunesBackupBuilder::FileOptions hardware;   // a class only the phone can open
        hardware.protectionClass = 6;
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Keychain/hw.db"), "hw", hardware);
        backupFolder = env.path("backup");
        builder.build(backupFolder);
    }

    // One writer per backup, whatever run it comes from: a second is told, a writer without the
    // lock is refused, and one whose backup changed after it was read writes nothing.
    void aWriterNeedsTheBackupToItselfAndAsItWasRead()
    {
        const QSharedPointer<BackupManifest> backup = openBackup(backupFolder);
        const QMap<QString, QByteArray> before = everything(backupFolder);
        {
            BackupWriteLock first(backupFolder);
            first.acquireOrBusyThrow();
            QVERIFY(QFileInfo::exists(BackupWriteLock::lockPathFor(backupFolder)));
            BackupWriteLock second(backupFolder);
            QVERIFY(thrownText([&] { second.acquireOrBusyThrow(); }).contains("is being written by another task"));
            QVERIFY(thrownText([&] { BackupContentWriter writer(*backup, second); }).contains("without its lock"));
            // Another program wrote the list after this run read it.
            const QString list = backupFolder + "/Manifest.db";
            const QDateTime modified = QFileInfo(list).lastModified();
            QFile file(list);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(modified.addSecs(-5), QFileDevice::FileModificationTime));
            file.close();
            QVERIFY(thrownText([&] { BackupContentWriter writer(*backup, first); }).contains("was changed by another program"));
            // Read again, with the keybag it had, it is written.
            const QSharedPointer<BackupManifest> current = BackupManifest::currentThrow(backup);
            QVERIFY(current != backup && current->keybag());
            QCOMPARE(BackupManifest::currentThrow(current), current);
            BackupContentWriter again(*current, first);
        }
        // Letting go leaves no lock file behind.
        QCOMPARE(everything(backupFolder), before);
    }

    void anEncryptedModernBackupIsWrittenWholeAndTwiceWithoutDoubles()
    {
        const KikDataSetPtr original = readBack(backupFolder);
        QVERIFY(original);
        const int rowsBefore = independentlyReadRows(backupFolder);
        QVERIFY(rowsBefore > 0);
        const QMap<QString, QByteArray> before = treeOf(backupFolder);

        KikDataSet set;
        const KikMessageList messages = newMessages(set);
        QCOMPARE(transfer(backupFolder, messages), QStringList(QString()));
        const int rowsAfter = independentlyReadRows(backupFolder);
        QCOMPARE(rowsAfter, rowsBefore + 2);   // the picture's description and the store's empty -shm
        KikBackupLocation location;
        const KikDataSetPtr once = readBack(backupFolder, &location);
        QVERIFY(once);
        QCOMPARE(location.domain, kGroupDomain);
        QCOMPARE(once->allMessages().size(), original->allMessages().size() + 3);
        // The old log is empty now: one padding block.
        const QString wal = backupFileName(kGroupDomain, "cores/private/" + account + "/kik.sqlite-wal");
        QCOMPARE(readFileBytes(backupFolder + "/" + wal.left(2) + "/" + wal).size(), 16);
        const QMap<QString, QByteArray> after = treeOf(backupFolder);
        for (const char *untouched : {"Manifest.plist", "Status.plist", "Info.plist"})
            QCOMPARE(after.value(untouched), before.value(untouched));
        QVERIFY(!after.keys().join(' ').contains("parlewick"));

        QCOMPARE(transfer(backupFolder, messages), QStringList(QString()));
        QCOMPARE(independentlyReadRows(backupFolder), rowsAfter);
        const KikDataSetPtr twice = readBack(backupFolder);
        QVERIFY(twice);
        QCOMPARE(twice->allMessages().size(), once->allMessages().size());
    }

    void cancelsAndFailuresLeaveTheBackupAsItWas()
    {
        KikDataSet set;
        const KikMessageList messages = newMessages(set);
        const QMap<QString, QByteArray> before = everything(backupFolder);
        // Before the first file, among the files, and after the last one, before the swap.
        for (const QString &at : {QStringLiteral("Transferring files..."), QStringLiteral("File: kik.sqlite"),
                                  QStringLiteral("Checking the backup...")}) {
            const QStringList outcome = transfer(
                backupFolder, messages, [at](const RecordingProgress::Report &r) { return r.status == at || r.text == at; });
            QVERIFY2(outcome.isEmpty(), qPrintable(at + ": " + outcome.join('|')));
            QCOMPARE(everything(backupFolder), before);
        }

        // A file of a class the password does not open, after the store was staged.
        const QString local = env.path("local-file");
        writeFileBytes(local, "new bytes");
        const QString store = "cores/private/" + account + "/kik.sqlite";
        QStringList outcome = merge(backupFolder, {{kGroupDomain, local, store, true},
                                                   {QStringLiteral("HomeDomain"), local, "Library/Keychain/hw.db", true}});
        QVERIFY2(outcome.size() == 1 && outcome.first().contains("protection class 6"), qPrintable(outcome.join('|')));
        QCOMPARE(everything(backupFolder), before);

        // A new file whose sub-folder cannot be made.
        QString blocked;
        for (int i = 0; blocked.isEmpty(); ++i) {
            const QString path = QStringLiteral("cores/private/%1/attachments/blocked-%2").arg(account).arg(i);
            if (!QFileInfo::exists(backupFolder + "/" + backupFileName(kGroupDomain, path).left(2)))
                blocked = path;
        }
        writeFileBytes(backupFolder + "/" + backupFileName(kGroupDomain, blocked).left(2), "in the way");
        const QMap<QString, QByteArray> obstructed = everything(backupFolder);
        outcome = merge(backupFolder, {{kGroupDomain, local, store, true}, {kGroupDomain, local, blocked, false}});
        QVERIFY2(outcome.size() == 1 && outcome.first().startsWith("can not write"), qPrintable(outcome.join('|')));
        QCOMPARE(everything(backupFolder), obstructed);
        QFile::remove(backupFolder + "/" + backupFileName(kGroupDomain, blocked).left(2));

        // Changes SQLite left beside the list would be replayed onto the new one.
        writeFileBytes(backupFolder + "/Manifest.db-wal", "pending");
        const QMap<QString, QByteArray> withLog = everything(backupFolder);
        outcome = merge(backupFolder, {{kGroupDomain, local, store, true}});
        QVERIFY2(outcome.size() == 1 && outcome.first().contains("unfinished changes"), qPrintable(outcome.join('|')));
        QCOMPARE(everything(backupFolder), withLog);
        QVERIFY(QFile::remove(backupFolder + "/Manifest.db-wal"));

        // The swap itself fails part way: what was moved goes back.
        writeFileBytes(backupFolder + "/Manifest.db.parlewick-old/keep", "a folder in the way");
        const QMap<QString, QByteArray> swapBlocked = everything(backupFolder);
        outcome = merge(backupFolder, {{kGroupDomain, local, store, true}});
        QVERIFY2(outcome.size() == 1 && outcome.first().startsWith("can not overwrite"), qPrintable(outcome.join('|')));
        QCOMPARE(everything(backupFolder), swapBlocked);
        QVERIFY(QDir(backupFolder + "/Manifest.db.parlewick-old").removeRecursively());
        QCOMPARE(everything(backupFolder), before);
        QCOMPARE(independentlyReadRows(backupFolder) > 0, true);
    }
};

QTEST_GUILESS_MAIN(TestBackupContentWriter)
#include "TestBackupContentWriter.moc"
