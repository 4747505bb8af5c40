#include "DeviceBackupPlace.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"
#include "KikBackupFixture.h"
#include "RecordingProgress.h"
#include "app/AppFolders.h"
#include "app/FileIdentity.h"
#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "device/TempBackupFolder.h"
#include "itunes/BackupFileNode.h"
#include "itunes/BackupManifest.h"
#include "kik/IOSKikDb.h"
#include "kikstore/KikStoreGenerator.h"
#include "workers/IOSLoadKikFromiTunesThread.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString kKikDomain = QStringLiteral("AppDomain-com.kik.chat");

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + seed) % 251);
    return bytes;
}

// Cancels after a number of checks made once a report with the given text came.
class CancelInsideFile : public RecordingProgress
{
public:
    CancelInsideFile(const QString &text, int checks)
        : m_text(text)
        , m_checks(checks)
    {
    }

    bool isCanceled() const override { return m_armed && --m_checks < 0; }
    void postProgress(const QString &status, int value, const QString &text) override
    {
        RecordingProgress::postProgress(status, value, text);
        if (text == m_text)
            m_armed = true;
    }

private:
    QString m_text;
    mutable std::atomic<int> m_checks;
    std::atomic<bool> m_armed{false};
};

}   // namespace

class TestIOSLoadKikFromiTunesThread : public QObject
{
    Q_OBJECT
    TestEnv env;
    QString m_container;                    // Kik's app container as on the phone
    QMap<QString, QByteArray> m_expected;   // what the cache's Documents must hold

    QSharedPointer<BackupManifest> openBackup(const QString &folder, const QString &password = QString())
    {
        auto backup = QSharedPointer<BackupManifest>::create(folder);
        backup->readInfo();
        if (!password.isEmpty())
            [&] { QVERIFY(backup->unlock(Secret::fromUtf8(password.toUtf8()))); }();
        backup->load();
        return backup;
    }

    QSharedPointer<BackupManifest> buildBackup(const QString &name, const QString &password = QString(),
                                               const QString &container = QString())
    {
        ItunesBackupBuilder builder;
        if (!password.isEmpty())
            builder.setPassword(password, 50);
        builder.addFolder(kKikDomain, container.isEmpty() ? m_container : container);
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/x.plist"), "other app");
        const QString folder = env.path(QStringLiteral("backups/") + name);
        builder.build(folder);
        return openBackup(folder, password);
    }

    struct Run
    {
        bool found = false;
        QString appFolder;
        QStringList errors;
        QStringList successes;
        QList<RecordingProgress::Report> reports;
    };

    Run load(const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot = QString(),
             std::function<bool(const RecordingProgress::Report &)> cancelWhen = {})
    {
        RecordingProgress progress;
        if (cancelWhen)
            progress.cancelWhen(std::move(cancelWhen));
        IOSLoadKikFromiTunesThread worker(backup, &progress, cacheRoot);
        progress.run(worker);
        return {worker.found(), worker.appFolder(), progress.errors(), progress.successes(), progress.reports()};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::installEnglishTexts());
        // The program's cache lives in the user's cache folder, inside the test's home.
        QVERIFY(privateCachePath().startsWith(env.home()));

        m_container = env.path(QStringLiteral("container"));
        const QString documents = m_container + QStringLiteral("/Documents/");
        QVERIFY(!TestEnv::copyFixture(QStringLiteral("kik_ios.sqlite"), documents).isEmpty());
        QVERIFY(QFile::rename(documents + QStringLiteral("kik_ios.sqlite"), documents + QStringLiteral("kik.sqlite")));
        writeFileBytes(documents + QStringLiteral("kik.sqlite-shm"), pattern(32768, 1));
        writeFileBytes(documents + QStringLiteral("kik.sqlite-wal"), QByteArray());   // empty after a checkpoint
        writeFileBytes(documents + QStringLiteral("attachments/0b1c-content"), pattern(5000, 2));
        writeFileBytes(documents + QStringLiteral("Attachments/upper"), pattern(17, 3));
        writeFileBytes(documents + QStringLiteral("content_manager/data_cache/0b1c-content"), pattern(70000, 4));
        writeFileBytes(documents + QStringLiteral("content_manager/metadata_cache/0b1c-content"), pattern(300, 5));
        writeFileBytes(documents + QStringLiteral("profpix/orig_ann@talk.kik.com"), pattern(900, 6));
        // Not needed by the reader, so not copied: other files, and the store named in another case.
        writeFileBytes(documents + QStringLiteral("Kik.sqlite"), pattern(64, 7));
        writeFileBytes(documents + QStringLiteral("notes.txt"), pattern(10, 8));
        writeFileBytes(documents + QStringLiteral("logs/today.log"), pattern(10, 9));
        writeFileBytes(m_container + QStringLiteral("/Library/Caches/c.db"), pattern(10, 10));

        m_expected = treeOf(m_container + QStringLiteral("/Documents"));
        for (const QString &left : {QStringLiteral("Kik.sqlite"), QStringLiteral("notes.txt"), QStringLiteral("logs/today.log")})
            QVERIFY(m_expected.remove(left) == 1);
    }

    void plainAndEncryptedBackupsGiveIdenticalFiles_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QString();
        QTest::newRow("encrypted") << QStringLiteral("pässword");
    }

    void plainAndEncryptedBackupsGiveIdenticalFiles()
    {
        QFETCH(QString, password);
        const auto backup = buildBackup(QTest::currentDataTag(), password);
        const Run run = load(backup);
        QCOMPARE(run.errors, QStringList());
        QCOMPARE(run.successes, QStringList{QString()});
        QVERIFY(run.found);
        QCOMPARE(run.appFolder, privateCachePath(QStringLiteral("talvora-itunes_cache")) + QLatin1Char('/')
                                    + backup->identityKey() + QStringLiteral("/com.kik.chat"));
        const QString documents = run.appFolder + QStringLiteral("/Documents");
        QCOMPARE(treeOf(documents), m_expected);
        QVERIFY(QFileInfo(documents + QStringLiteral("/kik.sqlite-wal")).isFile());
        QVERIFY(!QFileInfo::exists(run.appFolder + QStringLiteral("/Library")));
        // Only the owner may read what was decrypted.
        QCOMPARE(QFileInfo(privateCachePath(QStringLiteral("talvora-itunes_cache"))).permissions()
                     & (QFileDevice::ReadOther | QFileDevice::ReadGroup | QFileDevice::ExeOther),
                 QFileDevice::Permissions());

        // A real percentage, file by file, up to the whole.
        QCOMPARE(run.reports.first().status, QStringLiteral("Reading Kik's files from the backup..."));
        QCOMPARE(run.reports.first().value, 0);
        QStringList texts;
        int percent = 0;
        for (const auto &report : run.reports.mid(1)) {
            QVERIFY(report.value >= percent);
            percent = report.value;
            texts << report.text;
        }
        QCOMPARE(percent, 100);
        QVERIFY(texts.contains(QStringLiteral("Loading kik.sqlite...")));
        QVERIFY(!texts.contains(QStringLiteral("Loading Kik.sqlite...")));
    }

    void everyRunRebuildsDocumentsInTheSameCache()
    {
        const auto backup = buildBackup(QStringLiteral("twice"));
        const Run first = load(backup);
        QVERIFY(first.found);
        const QString stale = first.appFolder + QStringLiteral("/Documents/attachments/stale");
        writeFileBytes(stale, "left from an earlier load");
        writeFileBytes(first.appFolder + QStringLiteral("/thumbs/picture"), "the reader's");
        const Run second = load(openBackup(backup->folder()));
        QCOMPARE(second.appFolder, first.appFolder);
        QVERIFY(!QFileInfo::exists(stale));
        QCOMPARE(treeOf(second.appFolder + QStringLiteral("/Documents")), m_expected);
        QVERIFY(QFileInfo::exists(first.appFolder + QStringLiteral("/thumbs/picture")));
    }

    void backupsWithoutAStore()
    {
        ItunesBackupBuilder noKik;
        noKik.addFile(QStringLiteral("AppDomain-com.other.app"), QStringLiteral("Documents/kik.sqlite"), "not Kik's");
        noKik.build(env.path(QStringLiteral("backups/no-kik")));
        const auto withoutKik = openBackup(env.path(QStringLiteral("backups/no-kik")));
        const QString root = env.path(QStringLiteral("cache-no-kik"));
        const Run none = load(withoutKik, root);
        QCOMPARE(none.errors, QStringList{QStringLiteral("Found no Kik data in your iTunes Backup. Please check if you "
                                                         "have installed and verified Kik Messenger on your iPhone.")});
        QVERIFY(none.successes.isEmpty());
        QVERIFY(!QFileInfo::exists(root));

        const QString walOnly = env.path(QStringLiteral("container-wal-only"));
        writeFileBytes(walOnly + QStringLiteral("/Documents/kik.sqlite-wal"), pattern(4000, 11));
        const Run wal = load(buildBackup(QStringLiteral("wal-only"), QString(), walOnly), root);
        QCOMPARE(wal.errors, QStringList());
        QCOMPARE(wal.successes, QStringList{QString()});
        QVERIFY(!wal.found);
        QCOMPARE(readFileBytes(wal.appFolder + QStringLiteral("/Documents/kik.sqlite-wal")), pattern(4000, 11));

        const QString emptyStore = env.path(QStringLiteral("container-empty-store"));
        writeFileBytes(emptyStore + QStringLiteral("/Documents/kik.sqlite"), QByteArray());
        QVERIFY(!load(buildBackup(QStringLiteral("empty-store"), QString(), emptyStore), root).found);
    }

    void cancelRemovesTheProgramsCache()
    {
        const auto backup = buildBackup(QStringLiteral("cancel-default"));
        const QString root = IOSLoadKikFromiTunesThread::defaultCacheRoot(*backup);
        QVERIFY(load(backup).found);
        const Run canceled = load(openBackup(backup->folder()), QString(), [](const RecordingProgress::Report &r) {
            return r.text == QStringLiteral("Loading 0b1c-content...");
        });
        QVERIFY(canceled.errors.isEmpty());
        QVERIFY(canceled.successes.isEmpty());
        QVERIFY(!canceled.found);
        QVERIFY(!QFileInfo::exists(root));
        QVERIFY(QFileInfo::exists(privateCachePath(QStringLiteral("talvora-itunes_cache"))));
    }

    void cancelInTheMiddleOfALargeFile()
    {
        const QString container = env.path(QStringLiteral("container-large"));
        QVERIFY(QDir().mkpath(container + QStringLiteral("/Documents")));
        QVERIFY(QFile::copy(m_container + QStringLiteral("/Documents/kik.sqlite"),
                            container + QStringLiteral("/Documents/kik.sqlite")));
        writeFileBytes(container + QStringLiteral("/Documents/attachments/large"), pattern(4 * 1024 * 1024, 12));
        const auto backup = buildBackup(QStringLiteral("cancel-large"), QStringLiteral("pw"), container);

        // The cancel comes while the file is being decrypted: only extraction's own checks see it.
        CancelInsideFile progress(QStringLiteral("Loading large..."), 10);
        IOSLoadKikFromiTunesThread worker(backup, &progress);
        progress.run(worker);
        QVERIFY(progress.errors().isEmpty());
        QVERIFY(progress.successes().isEmpty());
        QVERIFY(!worker.found());
        QVERIFY(!QFileInfo::exists(worker.cacheRoot()));
    }

    void failuresInAFolderOfTheCallerRemoveOnlyWhatTheRunMade()
    {
        // A damaged encrypted file: its length is no longer a whole number of blocks.
        const auto backup = buildBackup(QStringLiteral("damaged"), QStringLiteral("pw"));
        const auto *store = backup->fileTree().node(QStringLiteral("Applications/com.kik.chat/Documents/kik.sqlite"));
        QVERIFY(store);
        QFile stored(QDir(backup->folder()).filePath(store->backupName()));
        QVERIFY(stored.resize(stored.size() - 5));

        // The caller's folder holds other things: they stay.
        const QString root = env.path(QStringLiteral("users-folder"));
        writeFileBytes(root + QStringLiteral("/mine.txt"), "the user's");
        Run run = load(backup, root);
        QCOMPARE(run.errors.size(), 1);
        QVERIFY2(
            run.errors.first().endsWith(QStringLiteral(" is damaged: its encrypted content is not a whole number of blocks.")),
            qPrintable(run.errors.first()));
        QVERIFY(!QFileInfo::exists(run.appFolder));
        QCOMPARE(readFileBytes(root + QStringLiteral("/mine.txt")), QByteArray("the user's"));

        // An app folder that was there keeps all but the Documents copy.
        writeFileBytes(root + QStringLiteral("/com.kik.chat/thumbs/picture"), "the reader's");
        run = load(backup, root);
        QCOMPARE(run.errors.size(), 1);
        QVERIFY(!QFileInfo::exists(run.appFolder + QStringLiteral("/Documents")));
        QCOMPARE(readFileBytes(root + QStringLiteral("/com.kik.chat/thumbs/picture")), QByteArray("the reader's"));
        QCOMPARE(readFileBytes(root + QStringLiteral("/mine.txt")), QByteArray("the user's"));

        // A folder the run made itself goes whole.
        const QString fresh = env.path(QStringLiteral("fresh/cache"));
        run = load(backup, fresh);
        QCOMPARE(run.errors.size(), 1);
        QVERIFY(!QFileInfo::exists(fresh));
    }

    // The program's own device backup mirrored into its cache of the phone: files other than the
    // store get a second name instead of a copy; a backup of the user's is always copied. A new
    // mirror takes the old one's place only once complete.
    void aDeviceBackupIsLinkedAndTheOldMirrorStaysUntilTheNewIsComplete()
    {
        const QString udid = QStringLiteral("00008110-000A1B2C3D4E5F6A");
        QVERIFY(QDir().mkpath(env.path(QStringLiteral("disk"))));
        keepDeviceBackupsIn(env.path(QStringLiteral("disk")));
        ItunesBackupBuilder builder;
        builder.addFolder(kKikDomain, m_container);
        const QString folder = QDir(deviceBackupRoot()).filePath(udid);
        builder.build(folder);
        const QString cacheRoot = QDir(iosCacheFolder()).filePath(udid);
        const QString attachment = QStringLiteral("Applications/com.kik.chat/Documents/content_manager/data_cache/0b1c-content");
        const QString store = QStringLiteral("Applications/com.kik.chat/Documents/kik.sqlite");
        const auto sameFile = [](const QSharedPointer<BackupManifest> &backup, const QString &node, const QString &mirrored) {
            struct stat payload
            {
            }, local{};
            return ::stat(QFile::encodeName(backup->payloadPath(backup->fileTree().node(node))).constData(), &payload) == 0
                   && ::stat(QFile::encodeName(mirrored).constData(), &local) == 0 && payload.st_ino == local.st_ino;
        };

        const auto own = openBackup(folder);
        const Run run = load(own, cacheRoot);
        QVERIFY(run.found);
        QCOMPARE(treeOf(run.appFolder + QStringLiteral("/Documents")), m_expected);
        QVERIFY(sameFile(own, attachment, run.appFolder + QStringLiteral("/Documents/content_manager/data_cache/0b1c-content")));
        QVERIFY(!sameFile(own, store, run.appFolder + QStringLiteral("/Documents/kik.sqlite")));
        // The next load keeps the store's copy while neither it nor its payload changed.
        const QString storeCopy = run.appFolder + QStringLiteral("/Documents/kik.sqlite");
        const FileIdentity firstCopy = FileIdentity::of(storeCopy);
        QVERIFY(load(openBackup(folder), cacheRoot).found);
        QCOMPARE(FileIdentity::of(storeCopy), firstCopy);
        QFile written(storeCopy);
        QVERIFY(written.open(QIODevice::Append) && written.write("written in place") > 0);
        written.close();
        QVERIFY(load(openBackup(folder), cacheRoot).found);
        QVERIFY(FileIdentity::of(storeCopy) != firstCopy);
        QCOMPARE(readFileBytes(storeCopy), readFileBytes(own->payloadPath(own->fileTree().node(store))));
        const auto users = buildBackup(QStringLiteral("users"));
        const Run copied = load(users, QDir(iosCacheFolder()).filePath(QStringLiteral("other")));
        QVERIFY(!sameFile(users, attachment,
                          copied.appFolder + QStringLiteral("/Documents/content_manager/data_cache/0b1c-content")));

        // A damaged store in the next backup: the mirror stays as the last complete load left it.
        const QMap<QString, QByteArray> before = treeOf(run.appFolder);
        QFile stored(own->payloadPath(own->fileTree().node(store)));
        QVERIFY(stored.resize(stored.size() - 5));
        const Run failed = load(openBackup(folder), cacheRoot);
        QCOMPARE(failed.errors.size(), 1);
        QVERIFY2(failed.errors.first().contains(QStringLiteral("is damaged")), qPrintable(failed.errors.first()));
        QCOMPARE(treeOf(run.appFolder), before);
        QVERIFY(!QFileInfo::exists(run.appFolder + QStringLiteral("/Documents.parlewick-new")));
    }

    // Newer phones: one folder per account in the App Group container. Each maps onto the
    // mirror's Documents; with several, nothing is mirrored until one is picked. Folders whose
    // names are no account ids are passed over, and the backup stays byte for byte as it was.
    void accountsInTheGroupContainer()
    {
        KikStoreOptions options;
        options.contacts = 3;
        options.chats = 2;
        options.groups = 0;
        options.messagesPerChat = 9;
        options.sideFiles = false;
        const GeneratedKikStore other = KikStoreGenerator(options).generate(env.path(QStringLiteral("other-account")));
        const QString first = kikFixtureAccountId(1), second = kikFixtureAccountId(2);
        ItunesBackupBuilder builder;
        // Newer phones still list the app's own container, without a store.
        builder.addFile(kKikDomain, QStringLiteral("Library/Preferences/com.kik.chat.plist"), "<plist/>");
        addKikToBackup(builder, m_container, KikFixturePlace::Group, first);
        addKikToBackup(builder, other.rootFolder, KikFixturePlace::Group, second);
        addKikToBackup(builder, other.rootFolder, KikFixturePlace::Group, QStringLiteral("not-an-account"));
        const QString folder = env.path(QStringLiteral("backups/accounts"));
        builder.build(folder);
        const QMap<QString, QByteArray> backupBefore = treeOf(folder);
        const auto backup = openBackup(folder);

        const QString root = env.path(QStringLiteral("cache-accounts"));
        const auto run = [&](const QString &account, IOSLoadKikFromiTunesThread &worker, RecordingProgress &progress) {
            worker.setAccount(account);
            progress.run(worker);
        };
        {
            RecordingProgress progress;
            IOSLoadKikFromiTunesThread worker(backup, &progress, root);
            run(QString(), worker, progress);
            QCOMPARE(progress.errors(), QStringList());
            QVERIFY(worker.needsAccountChoice() && !worker.found());
            QCOMPARE(worker.accounts().size(), 2);
            QCOMPARE(worker.accounts().at(0).accountId, first);
            QCOMPARE(worker.accounts().at(0).messages, 55);
            QCOMPARE(worker.accounts().at(1).accountId, second);
            QCOMPARE(worker.accounts().at(1).messages, other.messages);
            QCOMPARE(worker.accounts().at(0).newest, QDateTime::fromSecsSinceEpoch(1435828618, Qt::UTC));
            QCOMPARE(worker.accounts().at(0).userName, QStringLiteral("jon.doh2015"));
            QCOMPARE(worker.accounts().at(0).displayName, QStringLiteral("Andy Murraymints"));
            QCOMPARE(worker.accounts().at(1).userName, QStringLiteral("me.owner"));
            QVERIFY(!QFileInfo::exists(root));
        }
        {
            RecordingProgress progress;
            IOSLoadKikFromiTunesThread worker(backup, &progress, root);
            run(first, worker, progress);
            QVERIFY(worker.found());
            QCOMPARE(treeOf(worker.appFolder() + QStringLiteral("/Documents")), m_expected);
            QCOMPARE(worker.location().domain, QStringLiteral("AppDomainGroup-group.com.kik.chat"));
            QCOMPARE(worker.location().path, QStringLiteral("cores/private/") + first);
        }
        {
            RecordingProgress progress;
            IOSLoadKikFromiTunesThread worker(backup, &progress, root);
            run(QStringLiteral("not-an-account"), worker, progress);
            QVERIFY(!worker.found());
            QCOMPARE(progress.errors().size(), 1);
            QVERIFY2(progress.errors().first().contains(QStringLiteral("jon.doh2015"))
                         && progress.errors().first().contains(QStringLiteral("me.owner")),
                     qPrintable(progress.errors().first()));
        }
        {
            // The user name picks an account as the id does.
            RecordingProgress progress;
            IOSLoadKikFromiTunesThread worker(backup, &progress, root);
            run(QStringLiteral("ME.OWNER"), worker, progress);
            QVERIFY(worker.found());
            QCOMPARE(worker.location().path, QStringLiteral("cores/private/") + second);
        }
        QCOMPARE(treeOf(folder), backupBefore);
    }

    // The phone had the newest messages only in the store's write-ahead log: they are read, and
    // neither the backup nor the mirror is written by the reading.
    void messagesOnlyInTheWriteAheadLog()
    {
        const QString container = env.path(QStringLiteral("container-wal"));
        QVERIFY(!TestEnv::copyFixture(QStringLiteral("kik_ios.sqlite"), container + QStringLiteral("/Documents/")).isEmpty());
        const QString store = container + QStringLiteral("/Documents/kik.sqlite");
        QVERIFY(QFile::rename(container + QStringLiteral("/Documents/kik_ios.sqlite"), store));
        const QStringList uids = addWalOnlyMessages(store, 3);
        QVERIFY(QFileInfo(store + QStringLiteral("-wal")).size() > 0);
        for (const auto place : {KikFixturePlace::Documents, KikFixturePlace::Group}) {
            ItunesBackupBuilder builder;
            addKikToBackup(builder, container, place, kikFixtureAccountId(7));
            const QString folder = env.path(QStringLiteral("backups/wal%1").arg(int(place)));
            builder.build(folder);
            const QMap<QString, QByteArray> backupBefore = treeOf(folder);
            const Run run = load(openBackup(folder), env.path(QStringLiteral("cache-wal%1").arg(int(place))));
            QVERIFY(run.found);
            const QMap<QString, QByteArray> mirrorBefore = treeOf(run.appFolder + QStringLiteral("/Documents"));

            IOSKikDb db(run.appFolder, env.path(QStringLiteral("thumbs-wal")));
            db.setOpenMode(IOSKikDb::ReadOnlyMode);
            const KikDataSetPtr data = KikDataSetPtr::create();
            db.load(data);
            QCOMPARE(data->messages.size(), 55 + uids.size());
            QStringList found;
            for (const KikMessage *message : data->messages) {
                if (uids.contains(message->uid) && message->chat)
                    found << message->uid;
            }
            QCOMPARE(found.size(), uids.size());
            db.close();
            QCOMPARE(treeOf(run.appFolder + QStringLiteral("/Documents")), mirrorBefore);
            QCOMPARE(treeOf(folder), backupBefore);
        }
    }

    void linksInTheCacheAreNotFollowed()
    {
        const auto backup = buildBackup(QStringLiteral("links"));
        const QString elsewhere = env.path(QStringLiteral("elsewhere"));
        writeFileBytes(elsewhere + QStringLiteral("/precious"), "keep me");

        // A Documents link in the app folder is replaced, its target left alone.
        const QString root = env.path(QStringLiteral("cache-with-link"));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/com.kik.chat")));
        QVERIFY(QFile::link(elsewhere, root + QStringLiteral("/com.kik.chat/Documents")));
        QVERIFY(load(backup, root).found);
        QVERIFY(!QFileInfo(root + QStringLiteral("/com.kik.chat/Documents")).isSymLink());
        QCOMPARE(readFileBytes(elsewhere + QStringLiteral("/precious")), QByteArray("keep me"));

        // A link planted as the cache folder is refused, and nothing is removed.
        const QString cache = privateCachePath(QStringLiteral("talvora-itunes_cache"));
        removeFolderTree(cache);
        QVERIFY(QFile::link(elsewhere, cache));
        QVERIFY(QDir().mkpath(elsewhere + QLatin1Char('/') + backup->identityKey()));
        writeFileBytes(elsewhere + QLatin1Char('/') + backup->identityKey() + QStringLiteral("/theirs"), "theirs");
        const Run planted = load(backup);
        QVERIFY(QFile::remove(cache));
        QCOMPARE(planted.errors.size(), 1);
        QVERIFY2(planted.errors.first().contains(QStringLiteral("not owned by you")), qPrintable(planted.errors.first()));
        QCOMPARE(readFileBytes(elsewhere + QLatin1Char('/') + backup->identityKey() + QStringLiteral("/theirs")),
                 QByteArray("theirs"));
        QCOMPARE(readFileBytes(elsewhere + QStringLiteral("/precious")), QByteArray("keep me"));
    }
};

QTEST_GUILESS_MAIN(TestIOSLoadKikFromiTunesThread)
#include "TestIOSLoadKikFromiTunesThread.moc"
