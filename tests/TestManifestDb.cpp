#include "TestEnv.h"

#include "itunes/BackupCategoryIndex.h"
#include "itunes/BackupFileNode.h"
#include "itunes/BackupFileTree.h"
#include "itunes/ManifestDb.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtTest>

#include <sys/stat.h>

#include <stdexcept>

namespace {

// Hand-assembled Manifest.mbdb bytes, independent of the writer under test.
QByteArray be(quint64 v, int width)
{
    QByteArray out(width, '\0');
    for (int i = width - 1; i >= 0; --i, v >>= 8)
        out[i] = char(v & 0xFF);
    return out;
}

QByteArray str(const QByteArray &s)
{
    return be(quint64(s.size()), 2) + s;
}
const QByteArray kAbsent("\xFF\xFF", 2);
const QByteArray kZero("\0\0", 2);
const QByteArray kHeader("mbdb\x05\x00", 6);

QByteArray fixedFields(quint16 mode, quint64 size, quint8 cls, quint8 properties, quint32 inodeLow = 7)
{
    return be(mode, 2) + be(0x11, 4) + be(inodeLow, 4) + be(501, 4) + be(501, 4) + be(1400000000, 4) + be(1400000001, 4)
           + be(1400000002, 4) + be(size, 8) + be(cls, 1) + be(properties, 1);
}

QByteArray fileRecord(const QByteArray &domain, const QByteArray &path, quint64 size = 10)
{
    return str(domain) + str(path) + kAbsent + str(QByteArray(20, 'h')) + kAbsent + fixedFields(0100644, size, 3, 0);
}

QByteArray folderRecord(const QByteArray &domain, const QByteArray &path)
{
    return str(domain) + str(path) + kAbsent + kAbsent + kAbsent + fixedFields(040755, 0, 4, 0);
}

QString sha1Hex(const QByteArray &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex());
}

}   // namespace

class TestManifestDb : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void backupFileNameIsSha1OfDomainDashPath()
    {
        // A name every iTunes backup of a phone with messages carries.
        QCOMPARE(backupFileName(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db")),
                 QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28"));
        QCOMPARE(backupFileName(QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/kik.sqlite")),
                 sha1Hex("AppDomain-com.kik.chat-Documents/kik.sqlite"));
        QCOMPARE(backupFileName(QStringLiteral("AppDomain-é"), QStringLiteral("ü")), sha1Hex("AppDomain-\xc3\xa9-\xc3\xbc"));
    }

    void emptyStringsKeepTheirLengthWord()
    {
        // Strings written as 0xFFFF and as 0 both read as empty, and each is written back as read.
        const QByteArray record =
            str("HomeDomain") + str("Library/x") + kAbsent + kZero + kAbsent + fixedFields(0100644, 5, 2, 0);
        const QByteArray file = kHeader + record;
        const MbdbIndex index = parseManifestDb(file, QStringLiteral("test"));
        QCOMPARE(index.size(), 1);
        const MbdbRecord &rec = *index.cbegin();
        QVERIFY(rec.linkTarget.isEmpty() && rec.dataHash.isEmpty() && rec.encryptionKey.isEmpty());
        QCOMPARE(rec.linkTarget.lengthWord(), quint16(0xFFFF));
        QCOMPARE(rec.dataHash.lengthWord(), quint16(0));
        QCOMPARE(rec.inodeHigh, 0x11u);
        QCOMPARE(rec.inodeLow, 7u);
        QCOMPARE(rec.modificationTime, 1400000000u);
        QCOMPARE(rec.changeTime, 1400000002u);
        QCOMPARE(rec.size, 5u);
        QCOMPARE(rec.protectionClass, quint8(2));
        QCOMPARE(serializeManifestDb(index), file);
    }

    void propertiesAndLargeFields()
    {
        const QByteArray record = str("HomeDomain") + str("Library/y") + str("../target") + kAbsent + kAbsent + be(0120755, 2)
                                  + be(0xFFFFFFFF, 4) + be(0xFFFFFFFE, 4) + be(0, 4) + be(0, 4) + be(0, 4) + be(0, 4) + be(0, 4)
                                  + be(0x123456789AULL, 8) + be(4, 1) + be(2, 1) + str("com.apple.a")
                                  + str(QByteArray("\x00\x01", 2)) + kAbsent + kZero;
        const QByteArray file = kHeader + record;
        const MbdbIndex index = parseManifestDb(file, QStringLiteral("test"));
        const MbdbRecord &rec = *index.cbegin();
        QCOMPARE(rec.linkTarget.toString(), QStringLiteral("../target"));
        QCOMPARE(rec.inodeHigh, 0xFFFFFFFFu);
        QCOMPARE(rec.size, 0x123456789AULL);
        QCOMPARE(rec.properties.size(), 2);
        QCOMPARE(rec.properties[0].first.bytes, QByteArray("com.apple.a"));
        QCOMPARE(rec.properties[0].second.bytes, QByteArray("\x00\x01", 2));
        QCOMPARE(rec.properties[1].first.lengthWord(), quint16(0xFFFF));
        QCOMPARE(rec.properties[1].second.lengthWord(), quint16(0));
        QVERIFY(!rec.isFolder());   // a link is no folder
        QCOMPARE(serializeManifestDb(index), file);
    }

    void damagedFilesKeepNothing()
    {
        const QByteArray first = fileRecord("HomeDomain", "Library/a");
        const QByteArray last = fileRecord("HomeDomain", "Library/b");
        const QByteArray withProperty = str("HomeDomain") + str("Library/c") + kAbsent + kAbsent + kAbsent
                                        + fixedFields(0100644, 1, 1, 1) + str("name") + str("value");
        // Every cut inside the last record is an error, never a partial index.
        for (const QByteArray &lastRecord : {last, withProperty}) {
            for (qsizetype cut = 1; cut < lastRecord.size(); ++cut) {
                const QByteArray data = kHeader + first + lastRecord.left(cut);
                QVERIFY_THROWS_EXCEPTION(std::runtime_error, parseManifestDb(data, QStringLiteral("t")));
            }
        }
        // A length running past the end of the file.
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, parseManifestDb(kHeader + be(0x1000, 2) + "abc", QStringLiteral("t")));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, parseManifestDb(QByteArray("mbd"), QStringLiteral("t")));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 parseManifestDb(QByteArray("PK\x03\x04\x05\x00") + first, QStringLiteral("t")));
        QCOMPARE(parseManifestDb(kHeader, QStringLiteral("t")).size(), 0);
        try {
            parseManifestDb(kHeader + first + last.left(10), QStringLiteral("Manifest.mbdb"));
            QFAIL("no error");
        } catch (const std::runtime_error &e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Manifest.mbdb is damaged: the record at byte %1 is cut short.")
                                                      .arg(kHeader.size() + first.size()));
        }
    }

    void sortedFileRoundTripsByteForByte()
    {
        // Records in the writer's order (domain, then path, by bytes; "-" sorts before "/").
        const QByteArray file =
            kHeader + folderRecord("AppDomain-com.kik.chat", "") + folderRecord("AppDomain-com.kik.chat", "Documents")
            + fileRecord("AppDomain-com.kik.chat", "Documents-old") + fileRecord("AppDomain-com.kik.chat", "Documents/kik.sqlite")
            + fileRecord("AppDomain-com.kik.chat", "Documents/\xc3\xa9t\xc3\xa9") + folderRecord("HomeDomain", "")
            + fileRecord("HomeDomain", "Library/SMS/sms.db");
        const QString path = env.path(QStringLiteral("Manifest.mbdb"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
        out.close();
        const MbdbIndex index = readManifestDb(path);
        QCOMPARE(index.size(), 7);
        const QString copy = env.path(QStringLiteral("copy.mbdb"));
        writeManifestDb(index, copy);
        QFile in(copy);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(in.readAll(), file);
        QCOMPARE(readManifestDb(copy), index);
    }

    void unsortedFileIsWrittenSortedAndRepeatsCollapse()
    {
        const QByteArray b = fileRecord("HomeDomain", "b");
        const QByteArray a = fileRecord("HomeDomain", "a");
        const QByteArray aAgain = fileRecord("HomeDomain", "a", 99);
        const MbdbIndex index = parseManifestDb(kHeader + b + a + aAgain, QStringLiteral("t"));
        QCOMPARE(index.size(), 2);
        QCOMPARE(index.value(backupFileName(QStringLiteral("HomeDomain"), QStringLiteral("a"))).size, 99u);
        QCOMPARE(serializeManifestDb(index), kHeader + aAgain + b);
    }

    void readAndWriteErrors()
    {
        const QString missing = env.path(QStringLiteral("none/Manifest.mbdb"));
        const QString fifo = env.path(QStringLiteral("fifo.mbdb"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        // A FIFO planted as the list is refused at once, not waited on.
        const QList<std::pair<QString, QString>> unreadable{
            {missing, QStringLiteral("Cannot read %1: it does not exist.").arg(missing)},
            {fifo, QStringLiteral("Cannot read %1: it is not a regular file (a pipe, a socket or a device).").arg(fifo)},
            {env.home(), QStringLiteral("Cannot read %1: it is a folder, not a file.").arg(env.home())}};
        for (const auto &[path, text] : unreadable) {
            try {
                readManifestDb(path);
                QFAIL("no error");
            } catch (const std::runtime_error &e) {
                QCOMPARE(QString::fromUtf8(e.what()), text);
            }
        }
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 writeManifestDb(MbdbIndex(), env.path(QStringLiteral("none/Manifest.mbdb"))));
        MbdbIndex tooLong;
        MbdbRecord rec;
        rec.path = QByteArray(0xFFFF, 'x');   // its length would read as "empty"
        tooLong.insert(QStringLiteral("k"), rec);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, serializeManifestDb(tooLong));
    }

    void treePathsOfDomains_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("app") << "AppDomain-com.kik.chat"
                             << "Documents/kik.sqlite"
                             << "Applications/com.kik.chat/Documents/kik.sqlite";
        QTest::newRow("app root") << "AppDomain-com.kik.chat"
                                  << ""
                                  << "Applications/com.kik.chat";
        QTest::newRow("app group") << "AppDomainGroup-group.com.kik.chat"
                                   << "Library/x"
                                   << "AppDomainGroup/group.com.kik.chat/Library/x";
        QTest::newRow("app plugin") << "AppDomainPlugin-com.kik.chat.share"
                                    << "a"
                                    << "AppDomainPlugin/com.kik.chat.share/a";
        QTest::newRow("home") << "HomeDomain"
                              << "Library/SMS/sms.db"
                              << "Library/SMS/sms.db";
        QTest::newRow("camera roll") << "CameraRollDomain"
                                     << "Media/DCIM"
                                     << "Media/DCIM";
        QTest::newRow("plain Domain") << "Domain"
                                      << "x"
                                      << "x";
        QTest::newRow("other") << "SysContainerDomain-com.apple.x"
                               << "Library"
                               << "SysContainerDomain-com.apple.x/Library";
        QTest::newRow("part of a listed name") << "Home"
                                               << "x"
                                               << "Home/x";
        QTest::newRow("no dash") << "AppDomain"
                                 << "x"
                                 << "AppDomain/x";
    }
    void treePathsOfDomains()
    {
        QFETCH(QString, domain);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(BackupFileTree::treePath(domain, path), expected);
    }

    void treeFromIndex()
    {
        const QByteArray file =
            kHeader + folderRecord("AppDomain-com.kik.chat", "") + folderRecord("AppDomain-com.kik.chat", "Documents")
            + fileRecord("AppDomain-com.kik.chat", "Documents/kik.sqlite")
            + fileRecord("AppDomain-com.kik.chat", "Documents/empty", 0) + folderRecord("AppDomainGroup-group.com.kik", "")
            + folderRecord("HomeDomain", "") + folderRecord("HomeDomain", "Library")
            + fileRecord("HomeDomain", "Library/Voicemail/12.amr") + fileRecord("HomeDomain", "Library/SMS/sms.db")
            + fileRecord("HomeDomain", "Library/SMS/Attachments/0a/IMG_1.jpg")
            + fileRecord("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG")
            + fileRecord("CameraRollDomain", "Media/DCIM/100APPLE/notes.txt") + folderRecord("KeychainDomain", "")
            + fileRecord("MediaDomain", "Media/Recordings/memo.m4a") + fileRecord("OtherDomain", "orphan/deep/file");
        BackupFileTree tree;
        tree.build(parseManifestDb(file, QStringLiteral("t")));

        const BackupFileNode *root = tree.root();
        const BackupFileNode *apps = root->child(QStringLiteral("Applications"));
        QVERIFY(apps && apps->backupName().isEmpty());
        const BackupFileNode *kik = apps->child(QStringLiteral("com.kik.chat"));
        QVERIFY(kik && kik->isFolder());
        QCOMPARE(kik->backupName(), backupFileName(QStringLiteral("AppDomain-com.kik.chat"), QString()));
        const BackupFileNode *sqlite =
            kik->child(QStringLiteral("documents"), Qt::CaseInsensitive)->child(QStringLiteral("kik.sqlite"));
        QVERIFY(sqlite && !sqlite->isFolder());
        QCOMPARE(sqlite->backupName(),
                 backupFileName(QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/kik.sqlite")));
        QCOMPARE(sqlite->record().path.toString(), QStringLiteral("Documents/kik.sqlite"));
        // An empty regular file is a file (its mode says so), not a folder.
        QVERIFY(!tree.node(QStringLiteral("Applications/com.kik.chat/Documents/empty"))->isFolder());
        QCOMPARE(tree.node(QStringLiteral("Applications/com.kik.chat/Documents/kik.sqlite")), sqlite);

        QVERIFY(root->child(QStringLiteral("AppDomainGroup"))->child(QStringLiteral("group.com.kik")));
        QVERIFY(!root->child(QStringLiteral("HomeDomain")));
        QVERIFY(root->child(QStringLiteral("Library"))->child(QStringLiteral("SMS")) == nullptr);   // no folder record
        QCOMPARE(tree.topLevelNode(QStringLiteral("OtherDomain")), root->child(QStringLiteral("OtherDomain")));
        // A node whose parent has no record hangs under the root.
        QVERIFY(root->child(QStringLiteral("file")));
        QVERIFY(!root->child(QString()));   // shared-root domain records are the root itself

        const BackupCategoryIndex &cat = tree.categories();
        QVERIFY(cat.find(BackupCategoryIndex::Voicemail, QStringLiteral("12")));
        QVERIFY(cat.find(BackupCategoryIndex::Database, QStringLiteral("Library/SMS/sms.db")));
        QVERIFY(cat.find(BackupCategoryIndex::SmsAttachment, QStringLiteral("/var/mobile/Library/SMS/Attachments/0a/IMG_1.jpg")));
        QVERIFY(cat.find(BackupCategoryIndex::Photo, QStringLiteral("Media/DCIM/100APPLE/IMG_0001.JPG")));
        QCOMPARE(cat.entries(BackupCategoryIndex::Photo).size(), 1);
        QVERIFY(cat.find(BackupCategoryIndex::Recording, QStringLiteral("memo.m4a")));
        QCOMPARE(tree.allNodes().size(), 16);   // 13 records + 3 top-level nodes
    }

    void treeRefusesNamesLeavingTheirFolder()
    {
        const QByteArray file =
            kHeader + folderRecord("AppDomain-com.kik.chat", "") + folderRecord("AppDomain-com.kik.chat", "Documents")
            + folderRecord("AppDomain-com.kik.chat", "Documents/..") + fileRecord("AppDomain-com.kik.chat", "Documents/../../x")
            + fileRecord("AppDomain-com.kik.chat", "Documents/./y") + fileRecord("AppDomain-com.kik.chat", "Documents//z")
            + fileRecord("AppDomain-com.kik.chat", "Documents/a\\..\\b") + fileRecord("AppDomain-com.kik.chat", "Documents/ok")
            + fileRecord("AppDomain-../../etc", "passwd") + fileRecord("HomeDomain", "/etc/shadow")
            + fileRecord("HomeDomain", "..");
        const MbdbIndex index = parseManifestDb(file, QStringLiteral("t"));
        BackupFileTree tree;
        tree.build(index);
        QCOMPARE(tree.refusedCount(), 8);
        for (const BackupFileNode *node : tree.allNodes()) {
            QVERIFY2(BackupFileTree::isSafeTreePath(node->name()), qPrintable(node->name()));
            QVERIFY(!node->name().contains(QLatin1Char('/')));
        }
        QVERIFY(tree.node(QStringLiteral("Applications/com.kik.chat/Documents/ok")));
        // Refused entries stay in the index: writing it back loses nothing.
        QCOMPARE(serializeManifestDb(index).size(), file.size());
    }

    void addFileRecordAddsOnlyMissingFolders()
    {
        const QByteArray file = kHeader + folderRecord("AppDomain-com.kik.chat", "") + str("AppDomain-com.kik.chat")
                                + str("Documents") + kAbsent + kAbsent + kAbsent + fixedFields(040755, 0, 4, 0, 40);
        MbdbIndex index = parseManifestDb(file, QStringLiteral("t"));
        const QString local = env.path(QStringLiteral("local.bin"));
        QFile out(local);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("hello, backup");
        out.close();
        const QDateTime modified(QDate(2020, 5, 6), QTime(7, 8, 9), Qt::UTC);
        QVERIFY(out.open(QIODevice::ReadWrite) && out.setFileTime(modified, QFileDevice::FileModificationTime));
        out.close();

        const QString domain = QStringLiteral("AppDomain-com.kik.chat");
        addFileRecord(index, local, domain, QStringLiteral("Documents/attachments/abc"));
        QCOMPARE(index.size(), 4);   // one folder record, one file record
        const MbdbRecord folder = index.value(backupFileName(domain, QStringLiteral("Documents/attachments")));
        QCOMPARE(folder.mode, quint16(040700));
        QCOMPARE(folder.inodeLow, 41u);
        QCOMPARE(folder.userId, 501u);
        QCOMPARE(folder.protectionClass, quint8(4));
        QCOMPARE(folder.modificationTime, quint32(modified.toSecsSinceEpoch()));
        QVERIFY(folder.isFolder());
        QCOMPARE(folder.dataHash.lengthWord(), quint16(0xFFFF));
        const MbdbRecord rec = index.value(backupFileName(domain, QStringLiteral("Documents/attachments/abc")));
        QCOMPARE(rec.mode, quint16(0100644));
        QCOMPARE(rec.inodeLow, 42u);
        QCOMPARE(rec.size, 13u);
        QCOMPARE(rec.dataHash.bytes, QCryptographicHash::hash("hello, backup", QCryptographicHash::Sha1));
        QCOMPARE(rec.accessTime, quint32(modified.toSecsSinceEpoch()));

        // Refreshing keeps the identity of the record and takes the new content's hash, time, size.
        MbdbRecord &existing = index[backupFileName(domain, QStringLiteral("Documents/attachments/abc"))];
        existing.mode = 0100600;
        existing.encryptionKey = QByteArray(44, 'k');
        existing.protectionClass = 2;
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("changed");
        out.close();
        addFileRecord(index, local, domain, QStringLiteral("Documents/attachments/abc"));
        QCOMPARE(index.size(), 4);
        const MbdbRecord refreshed = index.value(backupFileName(domain, QStringLiteral("Documents/attachments/abc")));
        QCOMPARE(refreshed.mode, quint16(0100600));
        QCOMPARE(refreshed.inodeLow, 42u);
        QCOMPARE(refreshed.encryptionKey.bytes, QByteArray(44, 'k'));
        QCOMPARE(refreshed.protectionClass, quint8(2));
        QCOMPARE(refreshed.size, 7u);
        QCOMPARE(refreshed.dataHash.bytes, QCryptographicHash::hash("changed", QCryptographicHash::Sha1));
    }
};

QTEST_GUILESS_MAIN(TestManifestDb)
#include "TestManifestDb.moc"
