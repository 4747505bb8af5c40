// Messages into Kik's data inside a plain iTunes backup: the file list the merge collects, the
// backup read back through the import, files the backup already holds, and a cancel.

#include "TestEnv.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"
#include "KikBackupReadBack.h"
#include "KikDataBuilder.h"
#include "RecordingProgress.h"
#include "device/DeviceCacheFolder.h"
#include "itunes/BackupFileNode.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "itunes/ManifestDb.h"
#include "kikstore/KikStoreGenerator.h"
#include "workers/BackupFileMergeThread.h"
#include "workers/IOSLoadKikFromiTunesThread.h"
#include "workers/IOSRestoreKikMsgThread.h"

#include <QDir>
#include <QtTest>

namespace {

const QString kDomain = QStringLiteral("AppDomain-com.kik.chat");
const QDateTime kBase(QDate(2021, 2, 3), QTime(4, 5), Qt::UTC);

QSharedPointer<BackupManifest> openBackup(const QString &folder)
{
    auto backup = QSharedPointer<BackupManifest>::create(folder);
    backup->readInfo();
    backup->load();
    return backup;
}

}   // namespace

class TestIOSMergeWAFiles2iTunesBKThread : public QObject
{
    Q_OBJECT
    TestEnv env;
    GeneratedKikStore store;
    QString backupFolder;
    QString existingDescription;   // a path in Kik's domain the backup already holds

    QStringList merge(const IOSFileItemList &items, std::function<bool(const RecordingProgress::Report &)> cancelWhen = {})
    {
        RecordingProgress progress;
        if (cancelWhen)
            progress.cancelWhen(std::move(cancelWhen));
        BackupWriteLock lock(backupFolder);
        lock.acquireOrBusyThrow();
        BackupFileMergeThread worker(openBackup(backupFolder), lock, items, &progress);
        progress.run(worker);
        return progress.errors() + progress.successes();
    }

    KikDataSetPtr readBack(const QString &cacheName) { return readKikBack(openBackup(backupFolder), env.path(cacheName)); }

private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::installEnglishTexts());
        KikStoreOptions options;
        options.contacts = 4;
        options.chats = 3;
        options.groups = 1;
        options.messagesPerChat = 8;
        options.attachmentShare = 0.5;
        store = KikStoreGenerator(options).generate(env.path("kik"));
        const QStringList described = QDir(store.rootFolder + "/Documents/attachments").entryList(QDir::Files);
        QVERIFY(!described.isEmpty());
        existingDescription = "Documents/attachments/" + described.first();
        ItunesBackupBuilder builder;
        builder.addFolder(kDomain, store.rootFolder);
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/a.plist"), "<plist/>");
        backupFolder = env.path("backup");
        builder.build(backupFolder);
    }

    void theBackupReloadsWithTheNewMessages()
    {
        const QSharedPointer<BackupManifest> backup = openBackup(backupFolder);
        DeviceDescription device;
        device.udid = "virtual_" + backup->identityKey();
        RecordingProgress extraction;
        IOSLoadKikFromiTunesThread extract(backup, &extraction, deviceCacheFolder(device));
        extraction.run(extract);
        QVERIFY(extract.found());

        KikDataSet set;
        KikDataBuilder builder(set);
        KikChat *chat =
            builder.addChat(builder.addUser(QStringLiteral("Backup Pal"), QStringLiteral("backuppal_a@talk.kik.com")));
        KikMessageList messages{builder.addMessage(chat, kBase, QStringLiteral("into the backup"), true),
                                builder.addMessage(chat, kBase.addSecs(30), QStringLiteral("and back"), false)};
        KikMessage *picture = builder.addMessage(chat, kBase.addSecs(60), QString(), false);
        picture->content_id = QStringLiteral("fresh-content");
        picture->app_id = QStringLiteral("com.kik.ext.gallery");
        picture->attachment.insert(QStringLiteral("file-name"), QStringLiteral("p.jpg"));
        messages << picture;

        RecordingProgress progress;
        IOSRestoreKikMsgThread restore(device, messages, &progress);
        restore.setDirect(false);
        progress.run(restore);
        QCOMPARE(progress.errors(), QStringList());
        QCOMPARE(restore.transferred(), 3);
        QStringList listed;
        for (const IOSFileItem &item : restore.fileList()) {
            QCOMPARE(item.domain, kDomain);
            QVERIFY(QFileInfo(item.localPath).isFile());
            listed << QStringLiteral("%1 %2").arg(item.path).arg(item.overwrite);
        }
        QCOMPARE(listed, QStringList({"Documents/attachments/fresh-content 0", "Documents/kik.sqlite 1",
                                      "Documents/kik.sqlite-wal 1", "Documents/kik.sqlite-shm 1"}));

        const QByteArray storeBefore = readFileBytes(backupFolder + "/" + backupFileName(kDomain, "Documents/kik.sqlite"));
        QCOMPARE(merge(restore.fileList()), QStringList(QString()));
        QVERIFY(readFileBytes(backupFolder + "/" + backupFileName(kDomain, "Documents/kik.sqlite")) != storeBefore);

        const KikDataSetPtr reloaded = readBack("read-back");
        QVERIFY(reloaded);
        QCOMPARE(qint64(reloaded->allMessages().size()), store.messages + 3);
        QStringList bodies;
        for (const KikMessage *message : reloaded->allMessages())
            bodies << message->body;
        QVERIFY(bodies.contains("into the backup") && bodies.contains("and back"));
        const MbdbIndex index = readManifestDb(backupFolder + "/Manifest.mbdb");
        QVERIFY(index.contains(backupFileName(kDomain, "Documents/attachments/fresh-content")));
        QVERIFY(index.contains(backupFileName(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/a.plist"))));
    }

    void existingFilesAreReplacedOnlyWhenAsked()
    {
        const QString local = env.path("replacement");
        writeFileBytes(local, "replacement bytes");
        const QString target = backupFolder + "/" + backupFileName(kDomain, existingDescription);
        const QByteArray original = readFileBytes(target);
        QVERIFY(!original.isEmpty());

        QCOMPARE(merge({{kDomain, local, existingDescription, false}}), QStringList(QString()));
        QCOMPARE(readFileBytes(target), original);

        QCOMPARE(merge({{kDomain, local, existingDescription, false}, {kDomain, local, existingDescription, true}}),
                 QStringList(QString()));
        QCOMPARE(readFileBytes(target), QByteArray("replacement bytes"));
        const MbdbIndex index = readManifestDb(backupFolder + "/Manifest.mbdb");
        QCOMPARE(index.value(backupFileName(kDomain, existingDescription)).dataHash.bytes.size(), 20);
    }

    void aCancelLeavesTheBackupAsItWas()
    {
        const QString local = env.path("cancelled");
        writeFileBytes(local, "never arrives");
        const QMap<QString, QByteArray> before = treeOf(backupFolder);
        const IOSFileItemList items{{kDomain, local, "Documents/kik.sqlite", true},
                                    {kDomain, local, "Documents/new/one", false},
                                    {kDomain, local, "Documents/new/two", false}};
        const QStringList outcome =
            merge(items, [](const RecordingProgress::Report &report) { return report.text == "File: two"; });
        QCOMPARE(outcome, QStringList());
        QCOMPARE(treeOf(backupFolder), before);
    }

    void aPlainModernBackupIsWrittenAndEncryptedOnesNeedTheirPassword()
    {
        for (const bool encrypted : {false, true}) {
            for (const BackupFormat format : {BackupFormat::Mbdb, BackupFormat::FilesDb}) {
                ItunesBackupDevice device;
                device.productVersion = QStringLiteral("10.1");   // an encrypted list would need the password to load
                ItunesBackupBuilder builder(device);
                builder.setFormat(format);
                if (encrypted)
                    builder.setPassword(QStringLiteral("pw"), 10);
                builder.addFile(kDomain, QStringLiteral("Documents/kik.sqlite"), "store");
                const QString folder = env.path(QStringLiteral("formats/%1-%2").arg(int(format)).arg(encrypted));
                builder.build(folder);
                const QMap<QString, QByteArray> before = treeOf(folder);
                const QString local = env.path("plain");
                writeFileBytes(local, "new store");
                RecordingProgress progress;
                const QSharedPointer<BackupManifest> backup = openBackup(folder);
                auto lock = std::make_unique<BackupWriteLock>(folder);
                lock->acquireOrBusyThrow();
                BackupFileMergeThread worker(
                    backup, *lock,
                    {{kDomain, local, "Documents/kik.sqlite", true}, {kDomain, local, "Documents/attachments/new", false}},
                    &progress);
                progress.run(worker);
                if (encrypted) {
                    QCOMPARE(progress.errors(), QStringList("Failed to export messages to iTunes backup because your "
                                                            "current iTunes backup is encrypted."));
                    QCOMPARE(treeOf(folder).keys().size(), before.size() + 1);   // the lock file, while held
                    // With the password it is written, encrypted.
                    QVERIFY(backup->unlock(Secret::fromUtf8("pw")));
                    RecordingProgress unlocked;
                    BackupFileMergeThread again(backup, *lock, {{kDomain, local, "Documents/attachments/new", false}}, &unlocked);
                    unlocked.run(again);
                    QCOMPARE(unlocked.errors(), QStringList());
                } else {
                    QCOMPARE(progress.errors(), QStringList());
                }
                lock.reset();
                const QSharedPointer<BackupManifest> after = openBackup(folder);
                QVERIFY(!encrypted || after->unlock(Secret::fromUtf8("pw")));
                const BackupFileNode *node = after->fileTree().node("Applications/com.kik.chat/Documents/attachments/new");
                QVERIFY(node);
                QCOMPARE(node->record().size, quint64(9));
                QCOMPARE(readFileBytes(after->payloadPath(node)) == "new store", !encrypted);
                after->extractFile(node, env.path("extracted/new"));
                QCOMPARE(readFileBytes(env.path("extracted/new")), QByteArray("new store"));
                QCOMPARE(treeOf(folder).value("Status.plist"), before.value("Status.plist"));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestIOSMergeWAFiles2iTunesBKThread)
#include "TestIOSMergeWAFiles2iTunesBKThread.moc"
