#include "TestEnv.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"
#include "app/TaskCanceled.h"
#include "itunes/BackupFileCrypt.h"
#include "itunes/BackupFileNode.h"
#include "itunes/BackupKeybag.h"
#include "itunes/BackupManifest.h"
#include "itunes/ManifestDb.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <stdexcept>

namespace {

const QString kKikDomain = QStringLiteral("AppDomain-com.kik.chat");

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + 7) % 251);
    return bytes;
}

QString extractError(const BackupManifest &backup, const BackupFileNode *node, const QString &destination)
{
    try {
        backup.extractFile(node, destination);
    } catch (const std::runtime_error &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// What the loader does with a subtree: folders by name, files through extractFile.
void extractTree(const BackupManifest &backup, const BackupFileNode *node, const QString &folder)
{
    for (const BackupFileNode *child : node->children()) {
        const QString target = QDir(folder).filePath(child->name());
        if (child->isFolder()) {
            QDir().mkpath(target);
            extractTree(backup, child, target);
        } else {
            backup.extractFile(child, target);
        }
    }
}

}   // namespace

class TestBackupExtraction : public QObject
{
    Q_OBJECT
    TestEnv env;
    QString m_kikFolder;   // a Kik app folder as on the phone

    QSharedPointer<BackupManifest> build(ItunesBackupBuilder &builder, const QString &name)
    {
        builder.addFolder(kKikDomain, m_kikFolder);
        const QString folder = env.path(QStringLiteral("backups/") + name);
        builder.build(folder);
        auto backup = QSharedPointer<BackupManifest>::create(folder);
        backup->readInfo();
        backup->load();
        return backup;
    }

    const BackupFileNode *kikFile(const BackupManifest &backup, const QString &path)
    {
        return backup.fileTree().node(QStringLiteral("Applications/com.kik.chat/") + path);
    }

private slots:
    void initTestCase()
    {
        m_kikFolder = env.path(QStringLiteral("kik"));
        QVERIFY(!TestEnv::copyFixture(QStringLiteral("kik_ios.sqlite"), m_kikFolder + QStringLiteral("/Documents")).isEmpty());
        QVERIFY(QFile::rename(m_kikFolder + QStringLiteral("/Documents/kik_ios.sqlite"),
                              m_kikFolder + QStringLiteral("/Documents/kik.sqlite")));
        QDir().mkpath(m_kikFolder + QStringLiteral("/Documents/attachments"));
        const QList<QPair<QString, int>> files = {{QStringLiteral("Documents/attachments/block16"), 4096},
                                                  {QStringLiteral("Documents/attachments/odd"), 8193},
                                                  {QStringLiteral("Documents/attachments/empty.txt"), 0},
                                                  {QStringLiteral("Documents/attachments/big"), 3 * 1024 * 1024 + 5}};
        for (const auto &[path, size] : files) {
            QFile file(m_kikFolder + QLatin1Char('/') + path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(pattern(size));
        }
    }

    void plainBackupExtractsIdenticalFiles()
    {
        ItunesBackupBuilder builder;
        const auto backup = build(builder, QStringLiteral("plain"));
        QCOMPARE(backup->encrypted(), 0);
        const BackupFileNode *sqlite = backup->rootNode()
                                           ->child(QStringLiteral("Applications"))
                                           ->child(QStringLiteral("com.kik.chat"))
                                           ->child(QStringLiteral("Documents"))
                                           ->child(QStringLiteral("kik.sqlite"));
        QVERIFY(sqlite);
        const QString out = env.path(QStringLiteral("out/plain/new/folders/kik.sqlite"));
        QList<QPair<qint64, qint64>> calls;
        backup->extractFile(sqlite, out, [&](qint64 total, qint64 done) { calls.append({total, done}); });
        const QByteArray original = readFileBytes(TestEnv::fixturePath(QStringLiteral("kik_ios.sqlite")));
        QCOMPARE(readFileBytes(out), original);
        // One call per 8192-byte chunk, the last one at the file's end.
        QCOMPARE(calls.size(), int((original.size() + 8191) / 8192));
        QCOMPARE(calls.first(), qMakePair(qint64(original.size()), qint64(8192)));
        QCOMPARE(calls.last(), qMakePair(qint64(original.size()), qint64(original.size())));
        // The copy carries the record's time.
        const QDateTime recorded = QDateTime::fromSecsSinceEpoch(sqlite->record().modificationTime, Qt::UTC);
        QCOMPARE(QFileInfo(out).lastModified().toUTC(), recorded);
        QCOMPARE(recorded.toSecsSinceEpoch(),
                 QFileInfo(m_kikFolder + QStringLiteral("/Documents/kik.sqlite")).lastModified().toSecsSinceEpoch());

        const QString tree = env.path(QStringLiteral("out/plain/tree"));
        extractTree(*backup, kikFile(*backup, QStringLiteral("Documents")), tree);
        for (const QString &name : {QStringLiteral("block16"), QStringLiteral("odd"), QStringLiteral("big")})
            QCOMPARE(readFileBytes(tree + QStringLiteral("/attachments/") + name),
                     readFileBytes(m_kikFolder + QStringLiteral("/Documents/attachments/") + name));
    }

    void encryptedBackupWithRightAndWrongPassword()
    {
        ItunesBackupBuilder builder;
        builder.setPassword(QStringLiteral("s3cret ü"), 100);
        const auto backup = build(builder, QStringLiteral("encrypted"));
        QCOMPARE(backup->encrypted(), 1);
        const BackupFileNode *sqlite = kikFile(*backup, QStringLiteral("Documents/kik.sqlite"));
        const QByteArray original = readFileBytes(TestEnv::fixturePath(QStringLiteral("kik_ios.sqlite")));
        // The backup holds ciphertext with block padding.
        const QByteArray stored = readFileBytes(QDir(backup->folder()).filePath(sqlite->backupName()));
        QCOMPARE(stored.size(), (original.size() / 16 + 1) * 16);
        QVERIFY(stored != original.left(stored.size()));

        QVERIFY(!backup->unlock(Secret()));
        QVERIFY(!backup->unlock(Secret::fromUtf8("s3cret u")));
        QVERIFY(!backup->keybag());
        QVERIFY(backup->unlock(Secret::fromUtf8("s3cret ü")));

        const QString out = env.path(QStringLiteral("out/encrypted"));
        backup->extractFile(sqlite, out + QStringLiteral("/kik.sqlite"));
        QCOMPARE(readFileBytes(out + QStringLiteral("/kik.sqlite")), original);
        // Sizes that are multiples of 16 lose a whole padding block; the others their tail.
        for (const QString &name :
             {QStringLiteral("block16"), QStringLiteral("odd"), QStringLiteral("empty.txt"), QStringLiteral("big")}) {
            backup->extractFile(kikFile(*backup, QStringLiteral("Documents/attachments/") + name), out + QLatin1Char('/') + name);
            QCOMPARE(readFileBytes(out + QLatin1Char('/') + name),
                     readFileBytes(m_kikFolder + QStringLiteral("/Documents/attachments/") + name));
        }
    }

    // Ciphertext never comes out as if it were the file: a locked backup, an unusable key or
    // a payload that does not decrypt to its record's size is an error naming the file.
    void undecryptableFilesAreErrors()
    {
        ItunesBackupBuilder builder;
        builder.setPassword(QStringLiteral("pw"), 10, {6});
        ItunesBackupBuilder::FileOptions hardware;
        hardware.protectionClass = 6;   // its class key is not wrapped with the password
        builder.addFile(kKikDomain, QStringLiteral("Library/hardware.bin"), pattern(100), hardware);
        ItunesBackupBuilder::FileOptions oddKey;
        oddKey.encrypt = false;
        oddKey.keyField = QByteArray(43, 'k');   // not 4 + 40 bytes
        builder.addFile(kKikDomain, QStringLiteral("Library/oddkey.bin"), pattern(33), oddKey);
        ItunesBackupBuilder::FileOptions noKey;
        noKey.encrypt = false;
        builder.addFile(kKikDomain, QStringLiteral("Library/nokey.bin"), pattern(20), noKey);
        builder.addFile(kKikDomain, QStringLiteral("Documents/kik.sqlite-wal"), pattern(5000));
        const auto backup = build(builder, QStringLiteral("undecryptable"));
        const QString out = env.path(QStringLiteral("out/undecryptable/file"));

        const BackupFileNode *sqlite = kikFile(*backup, QStringLiteral("Documents/kik.sqlite"));
        QVERIFY(extractError(*backup, sqlite, out).contains(QStringLiteral("password is needed")));
        QVERIFY(backup->unlock(Secret::fromUtf8("pw")));
        for (const QString &name : {QStringLiteral("hardware.bin"), QStringLiteral("oddkey.bin"), QStringLiteral("nokey.bin")}) {
            const BackupFileNode *node = kikFile(*backup, QStringLiteral("Library/") + name);
            const QString stored = QDir(backup->folder()).filePath(node->backupName());
            QCOMPARE(
                extractError(*backup, node, out),
                QStringLiteral("%1 (%2) cannot be decrypted: its key in the backup's file list is damaged.").arg(name, stored));
        }

        const BackupFileNode *odd = kikFile(*backup, QStringLiteral("Documents/attachments/odd"));
        const QString oddPath = QDir(backup->folder()).filePath(odd->backupName());
        const QByteArray oddBytes = readFileBytes(oddPath);
        const QString damaged = QStringLiteral("odd (%1) is damaged: its content does not agree with the 8193 bytes "
                                               "the backup's file list gives.")
                                    .arg(oddPath);
        for (const QByteArray &changed : {oddBytes.chopped(16), oddBytes + oddBytes.right(16)}) {
            writeFileBytes(oddPath, changed);
            QCOMPARE(extractError(*backup, odd, out), damaged);
        }
        writeFileBytes(oddPath, oddBytes.chopped(1) + char(oddBytes.back() ^ 1));
        QCOMPARE(extractError(*backup, odd, out),
                 QStringLiteral("odd (%1) is damaged: its last block does not end in valid padding, so its end was changed "
                                "or cut.")
                     .arg(oddPath));
        QVERIFY(!QFileInfo::exists(out));

        // A log the phone wrote during the backup may be longer than its record: still decrypted.
        const BackupFileNode *wal = kikFile(*backup, QStringLiteral("Documents/kik.sqlite-wal"));
        const QString walPath = QDir(backup->folder()).filePath(wal->backupName());
        const QString longer = env.path(QStringLiteral("out/longer-wal"));
        writeFileBytes(longer, pattern(6000));
        encryptBackupFileThrow(longer, walPath,
                               backup->keybag()->fileKey(wal->record().protectionClass, wal->record().encryptionKey.bytes));
        backup->extractFile(wal, out);
        QCOMPARE(readFileBytes(out), pattern(6000));
        // But like every encrypted file it ends in valid padding: without it, it is damaged.
        writeFileBytes(walPath, readFileBytes(walPath).chopped(16));
        QCOMPARE(extractError(*backup, wal, out + QStringLiteral("-cut")),
                 QStringLiteral("kik.sqlite-wal (%1) is damaged: its last block does not end in valid padding, so its end "
                                "was changed or cut.")
                     .arg(walPath));
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("-cut")));
    }

    void failuresLeaveTheDestinationAlone()
    {
        ItunesBackupBuilder builder;
        builder.setPassword(QStringLiteral("pw"), 10);
        const auto backup = build(builder, QStringLiteral("failures"));
        QVERIFY(backup->unlock(Secret::fromUtf8("pw")));
        const QString out = env.path(QStringLiteral("out/failures/kik.sqlite"));
        QDir().mkpath(QFileInfo(out).absolutePath());
        QFile previous(out);
        QVERIFY(previous.open(QIODevice::WriteOnly));
        previous.write("previous copy");
        previous.close();

        // A stored file whose length is no multiple of the block size.
        const BackupFileNode *sqlite = kikFile(*backup, QStringLiteral("Documents/kik.sqlite"));
        QFile stored(QDir(backup->folder()).filePath(sqlite->backupName()));
        QVERIFY(stored.open(QIODevice::Append));
        stored.write("tail");
        stored.close();
        QCOMPARE(extractError(*backup, sqlite, out),
                 QStringLiteral("kik.sqlite (%1) is damaged: its encrypted content is not a whole number of blocks.")
                     .arg(stored.fileName()));
        QCOMPARE(readFileBytes(out), QByteArray("previous copy"));

        // A cancel raised from the progress callback.
        const BackupFileNode *big = kikFile(*backup, QStringLiteral("Documents/attachments/big"));
        bool cancelled = false;
        try {
            backup->extractFile(big, out, [](qint64, qint64 done) {
                if (done > 100000)
                    throw TaskCanceled();
            });
        } catch (const TaskCanceled &) {
            cancelled = true;
        }
        QVERIFY(cancelled);
        QCOMPARE(readFileBytes(out), QByteArray("previous copy"));
        QCOMPARE(QDir(QFileInfo(out).absolutePath()).entryList(QDir::Files), QStringList{QStringLiteral("kik.sqlite")});

        QVERIFY(QFile::remove(stored.fileName()));
        const QString missing = extractError(*backup, sqlite, out);
        QCOMPARE(missing, QStringLiteral("Cannot read %1: it does not exist.").arg(stored.fileName()));

        const QString blocked = env.path(QStringLiteral("out/failures/file-not-folder"));
        QVERIFY(previous.copy(blocked));
        const QString create = extractError(*backup, big, blocked + QStringLiteral("/big"));
        QVERIFY2(create.startsWith(QStringLiteral("can not create ")), qPrintable(create));
        // A node made up for the tree has no file in the backup.
        QVERIFY(extractError(*backup, backup->fileTree().topLevelNode(QStringLiteral("Applications")), out)
                    .startsWith(QStringLiteral("can not open ")));
    }

    void namesLeavingTheirFolderAreNotExtracted()
    {
        ItunesBackupBuilder builder;
        builder.addFile(kKikDomain, QStringLiteral("Documents/../../../escaped.txt"), "escaped");
        builder.addFile(kKikDomain, QStringLiteral("Documents/attachments/../../../../up.txt"), "up");
        const QString victim = env.path(QStringLiteral("victim/absolute.txt"));
        builder.addFile(kKikDomain, victim, "absolute");
        builder.addFile(QStringLiteral("AppDomain-../../.."), QStringLiteral("x.txt"), "domain");
        const auto backup = build(builder, QStringLiteral("hostile"));
        QVERIFY(backup->fileTree().refusedCount() > 0);

        const QString sandbox = env.path(QStringLiteral("out/hostile"));
        const QString dest = sandbox + QStringLiteral("/deep/inside/cache");
        QDir().mkpath(dest);
        extractTree(*backup, backup->rootNode(), dest);
        QDirIterator it(sandbox, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QVERIFY2(path.startsWith(dest) || dest.startsWith(path), qPrintable(path));
        }
        QVERIFY(QFileInfo::exists(dest + QStringLiteral("/Applications/com.kik.chat/Documents/kik.sqlite")));
        QVERIFY(!QFileInfo::exists(victim));
        // The index keeps the entries, so writing it back loses nothing.
        const MbdbIndex index = readManifestDb(QDir(backup->folder()).filePath(QStringLiteral("Manifest.mbdb")));
        QVERIFY(index.contains(backupFileName(kKikDomain, victim)));
        QCOMPARE(serializeManifestDb(index), readFileBytes(QDir(backup->folder()).filePath(QStringLiteral("Manifest.mbdb"))));
    }
};

QTEST_GUILESS_MAIN(TestBackupExtraction)
#include "TestBackupExtraction.moc"
