#include "TestEnv.h"
#include "TestFiles.h"
#include "ThrownText.h"

#include "ItunesBackupBuilder.h"
#include "app/PrivateCache.h"
#include "db/Sqlite3DB.h"
#include "itunes/BackupCrypto.h"
#include "itunes/BackupFileNode.h"
#include "itunes/BackupManifest.h"
#include "itunes/ManifestFilesDb.h"
#include "itunes/MbFileArchive.h"
#include "plist/CFType.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QtTest>

namespace {

const QString kKikDomain = QStringLiteral("AppDomain-com.kik.chat");
const QString kGroupDomain = QStringLiteral("AppDomainGroup-group.com.kik.chat");

// Every file below folder (hidden ones, and any -wal or -shm SQLite might leave) with its SHA-1.
QMap<QString, QByteArray> fingerprint(const QString &folder)
{
    QMap<QString, QByteArray> prints;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        prints.insert(QDir(folder).relativeFilePath(path),
                      QCryptographicHash::hash(readFileBytes(path), QCryptographicHash::Sha1));
    }
    return prints;
}

// What a tree says about each node, keyed by its path in the tree.
QMap<QString, QString> describe(const BackupFileNode *node, const QString &path = QString())
{
    QMap<QString, QString> out;
    for (const BackupFileNode *child : node->children()) {
        const QString full = path.isEmpty() ? child->name() : path + QLatin1Char('/') + child->name();
        const MbdbRecord &r = child->record();
        out.insert(full, QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                             .arg(child->backupName())
                             .arg(r.mode, 0, 8)
                             .arg(r.size)
                             .arg(r.protectionClass)
                             .arg(r.modificationTime)
                             .arg(QString::fromLatin1(r.dataHash.bytes.toHex()))
                             .arg(r.encryptionKey.bytes.size()));
        out.insert(describe(child, full));
    }
    return out;
}

// A keyed archive written by hand: the file dictionary after the class and key objects, an
// object nobody refers to, no Mode and no times.
QByteArray reorderedArchive()
{
    auto classObject = [](const char *name) {
        CFType object = CFType::newDictionary();
        object.setValue(QStringLiteral("$classname"), CFType(name));
        object.setValue(QStringLiteral("$classes"), CFType::newArray().append(CFType(name)));
        return object;
    };
    CFType key = CFType::newDictionary();
    key.setValue(QStringLiteral("NS.data"), CFType(QByteArray(44, 'k')));
    key.setValue(QStringLiteral("$class"), CFType::fromUid(2));
    CFType file = CFType::newDictionary();
    file.setValue(QStringLiteral("Size"), CFType::fromInt64(1234));
    file.setValue(QStringLiteral("ProtectionClass"), CFType::fromInt64(3));
    file.setValue(QStringLiteral("EncryptionKey"), CFType::fromUid(3));
    file.setValue(QStringLiteral("Digest"), CFType::fromUid(6));
    file.setValue(QStringLiteral("Target"), CFType::fromUid(0));   // "$null": no target
    file.setValue(QStringLiteral("$class"), CFType::fromUid(1));
    CFType objects = CFType::newArray();
    objects.append(CFType("$null"))
        .append(classObject("MBFile"))
        .append(classObject("NSMutableData"))
        .append(key)
        .append(CFType("an object nobody refers to"))
        .append(file)
        .append(CFType(QByteArray(20, 'd')));
    CFType top = CFType::newDictionary();
    top.setValue(QStringLiteral("root"), CFType::fromUid(5));
    CFType root = CFType::newDictionary();
    root.setValue(QStringLiteral("$objects"), objects);
    root.setValue(QStringLiteral("$top"), top);
    root.setValue(QStringLiteral("$archiver"), CFType("NSKeyedArchiver"));
    return root.toPlistData(CFType::BinaryFormat);
}

}   // namespace

class TestManifestFilesDb : public QObject
{
    Q_OBJECT
    TestEnv env;
    QString m_container;   // Kik's files as on the phone

    // The builder of the last build, for its keys.
    ItunesBackupBuilder buildBackup(const QString &folder, BackupFormat format, const QString &password = QString(),
                                    const QString &ios = QStringLiteral("17.5"))
    {
        ItunesBackupDevice device;
        device.productVersion = ios;
        ItunesBackupBuilder builder(device);
        builder.setFormat(format);
        if (!password.isEmpty())
            builder.setPassword(password, 10);
        builder.addFolder(kKikDomain, m_container);
        builder.addFile(kGroupDomain, QStringLiteral("cores/private/a1/kik.sqlite"), "group store");
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"), "sms");
        builder.build(folder);
        return builder;
    }

    static void setManifestKey(const QString &folder, const QByteArray &manifestKey)
    {
        CFType manifest = CFType::fromPlistFile(folder + QStringLiteral("/Manifest.plist"));
        manifest.setValue(QStringLiteral("ManifestKey"), CFType(manifestKey));
        writeFileBytes(folder + QStringLiteral("/Manifest.plist"), manifest.toPlistData(CFType::BinaryFormat));
    }

    // Loads folder with the password; the error text, or empty when it loaded.
    static QString loadError(const QString &folder, const QString &password = QStringLiteral("secret"))
    {
        BackupManifest backup(folder);
        backup.readInfo();
        if (!password.isEmpty() && !backup.unlock(Secret::fromUtf8(password.toUtf8())))
            return QStringLiteral("wrong password");
        return thrownText([&] { backup.load(); });
    }

    // Decrypted lists go to working folders in the private cache: none may stay.
    QStringList leftInCache() const
    {
        return QDir(privateCachePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // Runs SQL on a backup's Manifest.db as a hostile writer would.
    static void tamper(const QString &folder, const QString &sql, const QVariantList &values = {})
    {
        Sqlite3DB db;
        db.openThrow(QDir(folder).filePath(QStringLiteral("Manifest.db")), Sqlite3DB::ReadWrite);
        Sqlite3Sql statement(sql);
        for (const QVariant &value : values)
            statement.addParam(value);
        db.executeThrow(statement);
    }

private slots:
    void initTestCase()
    {
        QDir().mkpath(env.path(QStringLiteral("tmp")));
        qputenv("TMPDIR", env.path(QStringLiteral("tmp")).toUtf8());
        m_container = env.path(QStringLiteral("container"));
        writeFileBytes(m_container + QStringLiteral("/Documents/kik.sqlite"), QByteArray(5000, 's'));
        writeFileBytes(m_container + QStringLiteral("/Documents/attachments/c0ffee"), QByteArray(3000, 'a'));
        writeFileBytes(m_container + QStringLiteral("/Library/empty"), QByteArray());
    }

    void archivesAreReadByFollowingUids()
    {
        MbdbRecord rec;
        rec.path = QByteArray("Library/link");
        rec.mode = 0120755;
        rec.inodeHigh = 1;
        rec.inodeLow = 45856;
        rec.userId = rec.groupId = 501;
        rec.modificationTime = 1638501497;
        rec.changeTime = 1638559914;
        rec.birthTime = 1566918489;
        rec.size = 278528;
        rec.protectionClass = 4;
        rec.dataHash = QByteArray(20, 'h');
        rec.encryptionKey = QByteArray(44, 'e');
        rec.linkTarget = QByteArray("/var/mobile/elsewhere");
        MbdbRecord back;
        QVERIFY(MbFileArchive::decode(MbFileArchive::encode(rec), back));
        rec.path = QByteArray();   // the row names the path, not the archive
        rec.accessTime = rec.modificationTime;
        QCOMPARE(back, rec);

        MbdbRecord reordered;
        reordered.mode = 0100644;
        QVERIFY(MbFileArchive::decode(reorderedArchive(), reordered));
        QCOMPARE(reordered.size, quint64(1234));
        QCOMPARE(reordered.protectionClass, quint8(3));
        QCOMPARE(reordered.encryptionKey.bytes, QByteArray(44, 'k'));
        QCOMPARE(reordered.dataHash.bytes, QByteArray(20, 'd'));
        QVERIFY(reordered.linkTarget.isEmpty());
        QCOMPARE(reordered.mode, quint16(0100644));   // missing keys leave the fields alone
        QCOMPARE(reordered.modificationTime, 0u);

        // Anything that is no MBFile archive is refused, the record untouched.
        CFType outOfRange = CFType::fromPlistData(reorderedArchive());
        outOfRange.value(QStringLiteral("$top")).setValue(QStringLiteral("root"), CFType::fromUid(99));
        for (const QByteArray &blob :
             {QByteArray(), QByteArray("not a property list"), CFType::newArray().toPlistData(CFType::BinaryFormat),
              CFType::newDictionary().toPlistData(CFType::BinaryFormat), outOfRange.toPlistData(CFType::BinaryFormat),
              reorderedArchive().left(60)}) {
            MbdbRecord untouched;
            untouched.size = 7;
            QVERIFY(!MbFileArchive::decode(blob, untouched));
            QCOMPARE(untouched.size, quint64(7));
        }
    }

    void bothFormatsGiveTheSameTree()
    {
        const QString old = env.path(QStringLiteral("same/mbdb"));
        const QString modern = env.path(QStringLiteral("same/db"));
        buildBackup(old, BackupFormat::Mbdb);
        buildBackup(modern, BackupFormat::FilesDb);
        QVERIFY(QFileInfo::exists(modern + QStringLiteral("/Manifest.db")));
        QVERIFY(!QFileInfo::exists(modern + QStringLiteral("/Manifest.mbdb")));
        BackupManifest a(old), b(modern);
        a.load();
        b.load();
        QCOMPARE(describe(b.rootNode()), describe(a.rootNode()));
        QVERIFY(b.fileTree().node(QStringLiteral("AppDomainGroup/group.com.kik.chat/cores/private/a1/kik.sqlite")));

        // Payloads lie in sub-folders named by their first two characters, and come out whole.
        const BackupFileNode *store = b.fileTree().node(QStringLiteral("Applications/com.kik.chat/Documents/kik.sqlite"));
        QVERIFY(store);
        QCOMPARE(b.payloadPath(store),
                 modern + QLatin1Char('/') + store->backupName().left(2) + QLatin1Char('/') + store->backupName());
        b.extractFile(store, env.path(QStringLiteral("same/out/kik.sqlite")));
        QCOMPARE(readFileBytes(env.path(QStringLiteral("same/out/kik.sqlite"))), QByteArray(5000, 's'));
    }

    void encryptedFilesWithAPlainListAreRead()
    {
        // iOS 10.0 and 10.1: the files are encrypted, Manifest.db is not.
        const QString folder = env.path(QStringLiteral("ios10"));
        buildBackup(folder, BackupFormat::FilesDb, QStringLiteral("secret"), QStringLiteral("10.1"));
        QVERIFY(readFileBytes(folder + QStringLiteral("/Manifest.db")).startsWith("SQLite format 3"));
        BackupManifest backup(folder);
        backup.readInfo();
        QVERIFY(backup.encrypted());
        QVERIFY(backup.unlock(Secret::fromUtf8("secret")));
        backup.load();
        const BackupFileNode *store = backup.fileTree().node(QStringLiteral("Applications/com.kik.chat/Documents/kik.sqlite"));
        QVERIFY(store);
        QCOMPARE(store->record().encryptionKey.bytes.size(), 44);
        backup.extractFile(store, env.path(QStringLiteral("ios10-out/kik.sqlite")));
        QCOMPARE(readFileBytes(env.path(QStringLiteral("ios10-out/kik.sqlite"))), QByteArray(5000, 's'));
    }

    void untrustedRowsAreLeftOutAndCounted()
    {
        const QString folder = env.path(QStringLiteral("hostile"));
        buildBackup(folder, BackupFormat::FilesDb);
        const QByteArray archive = reorderedArchive();
        const QString insert = QStringLiteral("INSERT INTO Files VALUES (?, ?, ?, ?, ?)");
        auto row = [&](const QString &domain, const QString &path, int flags, const QByteArray &blob) {
            tamper(folder, insert, {backupFileName(domain, path), domain, path, flags, blob});
        };
        row(kKikDomain, QStringLiteral("Documents/flags16"), 16, archive);
        row(kKikDomain, QStringLiteral("Documents/../../../escape"), 1, archive);
        row(kKikDomain, QStringLiteral("Documents/garbage"), 1, QByteArray("no archive"));
        row(kKikDomain, QStringLiteral("Documents/huge"), 1, QByteArray(2 << 20, 'x'));
        row(kKikDomain, QStringLiteral("Documents/reordered"), 1, archive);
        // A row whose fileID names another file's payload.
        tamper(folder, insert,
               {backupFileName(kKikDomain, QStringLiteral("Documents/elsewhere")), kKikDomain,
                QStringLiteral("Documents/impostor"), 1, archive});
        // A payload the phone never wrote.
        const QString attachment = backupFileName(kKikDomain, QStringLiteral("Documents/attachments/c0ffee"));
        QVERIFY(QFile::remove(QStringLiteral("%1/%2/%3").arg(folder, attachment.left(2), attachment)));

        const QMap<QString, QByteArray> before = fingerprint(folder);
        BackupManifest backup(folder);
        backup.readInfo();
        backup.load();
        QCOMPARE(backup.skippedRows().otherKinds, 1);
        QCOMPARE(backup.skippedRows().misnamed, 1);
        QCOMPARE(backup.skippedRows().damaged, 2);
        QCOMPARE(backup.fileTree().refusedCount(), 1);
        const BackupFileNode *documents = backup.fileTree().node(QStringLiteral("Applications/com.kik.chat/Documents"));
        QVERIFY(documents);
        QStringList names;
        for (const BackupFileNode *child : documents->children())
            names.append(child->name());
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("attachments"), QStringLiteral("kik.sqlite"), QStringLiteral("reordered")}));
        QCOMPARE(documents->child(QStringLiteral("reordered"))->record().mode, quint16(0100000));

        // The missing payload is an error in the program's words; the rest still comes out.
        const QString missing = env.path(QStringLiteral("hostile-out/c0ffee"));
        QVERIFY(thrownText([&] {
                    backup.extractFile(
                        backup.fileTree().node(QStringLiteral("Applications/com.kik.chat/Documents/attachments/c0ffee")),
                        missing);
                }).startsWith(QStringLiteral("Cannot read ")));
        QVERIFY(!QFileInfo::exists(missing));
        backup.extractFile(documents->child(QStringLiteral("kik.sqlite")), env.path(QStringLiteral("hostile-out/kik.sqlite")));
        // Reading left the backup folder exactly as it was: no -wal, no -shm, no change.
        QCOMPARE(fingerprint(folder), before);
    }

    void unreadableListsGiveClearErrors()
    {
        const QString folder = env.path(QStringLiteral("broken"));
        buildBackup(folder, BackupFormat::FilesDb);
        writeFileBytes(folder + QStringLiteral("/Manifest.db"), QByteArray(4096, 'z'));
        BackupManifest garbage(folder);
        QVERIFY(thrownText([&] {
                    garbage.load();
                }).startsWith(folder + QStringLiteral("/Manifest.db cannot be read as the file list of an iTunes Backup.")));

        writeFileBytes(folder + QStringLiteral("/Manifest.db"), QByteArray());
        BackupManifest empty(folder);
        QVERIFY(thrownText([&] { empty.load(); }).contains(QStringLiteral("cannot be read as the file list")));

        // A Files that is a view (here one without end) is refused before any row is read.
        QVERIFY(QFile::remove(folder + QStringLiteral("/Manifest.db")));
        {
            Sqlite3DB db;
            db.openThrow(folder + QStringLiteral("/Manifest.db"), Sqlite3DB::ReadWriteCreate);
            db.execScriptThrow("CREATE VIEW files AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                               "SELECT hex(i) AS fileID, 'HomeDomain' AS domain, i AS relativePath, 1 AS flags, "
                               "NULL AS file FROM n;");
        }
        BackupManifest endless(folder);
        QCOMPARE(thrownText([&] { endless.load(); }),
                 folder
                     + QStringLiteral("/Manifest.db cannot be read as the file list of an iTunes Backup. Its Files is a "
                                      "view, not a table."));

        QVERIFY(QFile::remove(folder + QStringLiteral("/Manifest.db")));
        BackupManifest none(folder);
        QVERIFY(thrownText([&] { none.load(); }).contains(QStringLiteral("holds neither Manifest.db nor Manifest.mbdb")));
    }

    void encryptedListIsDecryptedPrivately()
    {
        const QString plainFolder = env.path(QStringLiteral("ios17-plain"));
        const QString folder = env.path(QStringLiteral("ios17"));
        buildBackup(plainFolder, BackupFormat::FilesDb);
        buildBackup(folder, BackupFormat::FilesDb, QStringLiteral("secret"));
        QVERIFY(!readFileBytes(folder + QStringLiteral("/Manifest.db")).startsWith("SQLite format 3"));
        const QMap<QString, QByteArray> before = fingerprint(folder);

        BackupManifest locked(folder);
        locked.readInfo();
        QCOMPARE(thrownText([&] { locked.load(); }),
                 folder + QStringLiteral("/Manifest.db is encrypted: the backup password is needed to read it."));

        BackupManifest backup(folder), plain(plainFolder);
        backup.readInfo();
        QVERIFY(backup.unlock(Secret::fromUtf8("secret")));
        backup.load();
        plain.load();
        // The same rows; digests and keys differ, being of encrypted bytes.
        auto withoutCrypto = [](QMap<QString, QString> lines) {
            for (QString &line : lines)
                line = line.section(QLatin1Char(' '), 0, 4);
            return lines;
        };
        QCOMPARE(withoutCrypto(describe(backup.rootNode())), withoutCrypto(describe(plain.rootNode())));
        const BackupFileNode *store = backup.fileTree().node(QStringLiteral("Applications/com.kik.chat/Documents/kik.sqlite"));
        QVERIFY(store);
        backup.extractFile(store, env.path(QStringLiteral("ios17-out/kik.sqlite")));
        QCOMPARE(readFileBytes(env.path(QStringLiteral("ios17-out/kik.sqlite"))), QByteArray(5000, 's'));
        // Nothing written into the backup, and the decrypted copy is gone.
        QCOMPARE(fingerprint(folder), before);
        QCOMPARE(leftInCache(), QStringList());
    }

    void damagedOrWronglyKeyedListsAreNamed()
    {
        const QString folder = env.path(QStringLiteral("keys"));
        const ItunesBackupBuilder builder = buildBackup(folder, BackupFormat::FilesDb, QStringLiteral("secret"));
        const QString list = folder + QStringLiteral("/Manifest.db");
        const QByteArray cipher = readFileBytes(list);
        const QByteArray goodKey = builder.manifestKey();
        const QString damaged = list + QStringLiteral(" cannot be decrypted: the file is damaged or the wrong key was used.");

        // Whole pages, no padding block (as some tools leave it): the data is kept and read.
        QCOMPARE(cipher.size() % 4096, 16);
        writeFileBytes(list, cipher.left(cipher.size() - 16));
        QCOMPARE(loadError(folder), QStringLiteral("(nothing thrown)"));
        // One byte changed near the end spoils the padding: damage, named so.
        QByteArray flipped = cipher;
        flipped[flipped.size() - 20] = char(flipped.at(flipped.size() - 20) ^ 0x01);
        writeFileBytes(list, flipped);
        QCOMPARE(loadError(folder), list
                                        + QStringLiteral(" is damaged: its last block does not end in valid padding, so "
                                                         "its end was changed or cut."));
        // Cut short of a block, or the key of another database.
        writeFileBytes(list, cipher.left(cipher.size() - 5));
        QCOMPARE(loadError(folder), damaged);
        writeFileBytes(list, cipher);
        setManifestKey(folder, goodKey.left(4) + aesKeyWrap(builder.classKey(3), QByteArray(32, 'w')));
        QCOMPARE(loadError(folder), damaged);
        // A class the password does not open, or no key at all.
        setManifestKey(folder, QByteArray("\x06\0\0\0", 4) + goodKey.mid(4));
        QVERIFY(loadError(folder).contains(QStringLiteral("names protection class 6, which the keybag does not unlock")));
        setManifestKey(folder, goodKey.left(20));
        QVERIFY(loadError(folder).contains(QStringLiteral("is 20 bytes long instead of 44")));

        setManifestKey(folder, goodKey);
        const QMap<QString, QByteArray> before = fingerprint(folder);
        QCOMPARE(loadError(folder), QStringLiteral("(nothing thrown)"));
        QCOMPARE(fingerprint(folder), before);
        QCOMPARE(leftInCache(), QStringList());
    }

    void writerReplacesTheRowOfTheSamePath()
    {
        Sqlite3DB db;
        const QString path = env.path(QStringLiteral("written/Manifest.db"));
        QDir().mkpath(env.path(QStringLiteral("written")));
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        ManifestFilesDbWriter::createTablesThrow(db);
        ManifestFilesDbWriter writer(db);
        MbdbRecord rec;
        rec.domain = kKikDomain.toUtf8();
        rec.path = QByteArray("Documents/kik.sqlite");
        rec.mode = 0100644;
        rec.size = 10;
        writer.putRowThrow(rec);
        rec.size = 20;
        writer.putRowThrow(rec);
        db.close();
        const ManifestFilesContent content = readManifestFilesDb(path, path);
        QCOMPARE(content.index.size(), 1);
        QCOMPARE(content.index.value(backupFileName(kKikDomain, QStringLiteral("Documents/kik.sqlite"))).size, quint64(20));
    }
};

QTEST_GUILESS_MAIN(TestManifestFilesDb)
#include "TestManifestFilesDb.moc"
