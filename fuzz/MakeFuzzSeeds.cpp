// make-fuzz-seeds <folder>: writes a small seed corpus per fuzz target into <folder>/<target>,
// made with the fixture tools the tests use (backups, keybags, Kik's store and its side files).
#include "ItunesBackupBuilder.h"
#include "kikstore/KikStoreGenerator.h"

#include "db/TinyKv.h"
#include "device/AfcChannel.h"
#include "itunes/BackupDiscovery.h"
#include "itunes/ManifestDb.h"
#include "itunes/MbFileArchive.h"
#include "kik/KikKeyedArchive.h"
#include "plist/CFType.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>

namespace {

QString g_out;

void seed(const char *target, const QString &name, const QByteArray &bytes)
{
    const QString folder = g_out + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + file.fileName().toStdString());
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

void sql(sqlite3 *db, const char *statement)
{
    if (sqlite3_exec(db, statement, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
}

// The store without its log, in 512-byte pages: the smallest file that still holds it all.
QByteArray compactStore(const QString &path)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot open " + path.toStdString());
    sql(db, "PRAGMA journal_mode=DELETE");
    sql(db, "PRAGMA page_size=512");
    sql(db, "PRAGMA auto_vacuum=NONE");
    sql(db, "VACUUM");
    sqlite3_close(db);
    return readAll(path);
}

void renderInstructionSeeds(const QString &storePath)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *query = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(storePath).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(db,
                              "SELECT ZBODY, ZRENDERINSTRUCTIONSET FROM ZKIKMESSAGE "
                              "WHERE ZRENDERINSTRUCTIONSET IS NOT NULL LIMIT 4",
                              -1, &query, nullptr)
               != SQLITE_OK)
        throw std::runtime_error("cannot read the render instructions");
    int n = 0;
    while (sqlite3_step(query) == SQLITE_ROW) {
        const QByteArray body(reinterpret_cast<const char *>(sqlite3_column_text(query, 0)), sqlite3_column_bytes(query, 0));
        const QByteArray blob(static_cast<const char *>(sqlite3_column_blob(query, 1)), sqlite3_column_bytes(query, 1));
        seed("renderins", QStringLiteral("message%1").arg(++n), char(qMin(body.size(), 255)) + body.left(255) + blob);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
}

void kikSeeds(const QString &work)
{
    for (const KikStoreLayout layout : {KikStoreLayout::Old, KikStoreLayout::New}) {
        const bool old = layout == KikStoreLayout::Old;
        KikStoreOptions options;
        options.contacts = 3;
        options.groups = 1;
        options.membersPerGroup = 2;
        options.chats = 2;
        options.messagesPerChat = 4;
        options.attachmentShare = 0.3;
        options.renderInstructionShare = 0.3;
        options.layout = layout;
        const QString root = work + (old ? QStringLiteral("/kik-old") : QStringLiteral("/kik-new"));
        const GeneratedKikStore store = KikStoreGenerator(options).generate(root);
        if (old) {
            renderInstructionSeeds(store.storePath);
            int n = 0;
            QDirIterator descriptions(root + QStringLiteral("/Documents/attachments"), QDir::Files);
            while (descriptions.hasNext() && n < 3)
                seed("plist", QStringLiteral("attachment%1").arg(++n), readAll(descriptions.next()));
            n = 0;
            QDirIterator archives(root + QStringLiteral("/Documents/content_manager/metadata_cache"), QDir::Files);
            while (archives.hasNext() && n < 2)
                seed("keyedarchive", QStringLiteral("metadata%1").arg(++n), readAll(archives.next()));
        }
        seed("kikstore", old ? QStringLiteral("store-old") : QStringLiteral("store-new"), compactStore(store.storePath));
    }
    const CFType archive = metadataArchive(QStringLiteral("3f2a"), QStringLiteral("com.kik.ext.gallery"),
                                           QStringLiteral("file:///var/mobile/3f2a.jpg"));
    seed("keyedarchive", QStringLiteral("template-binary"), archive.toPlistData(CFType::BinaryFormat));
    seed("keyedarchive", QStringLiteral("template-xml"), archive.toPlistData(CFType::XmlFormat));
}

void backupSeeds(const QString &work)
{
    for (const bool encrypted : {false, true}) {
        ItunesBackupBuilder builder;
        // Tiny key-derivation counts and the password the keybag target tries: the fuzzer
        // then reaches the unwrapping too.
        if (encrypted) {
            builder.setPassword(QStringLiteral("password"), 1);
            builder.setKeybagFormat(ItunesBackupBuilder::KeybagFormat::Modern, 1);
        }
        builder.addFile(QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/kik.sqlite"), "store");
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/a.plist"), "x");
        const QString folder = work + (encrypted ? QStringLiteral("/encrypted") : QStringLiteral("/plain"));
        builder.build(folder);
        const QString kind = encrypted ? QStringLiteral("encrypted") : QStringLiteral("plain");
        seed("mbdb", kind, readAll(folder + QStringLiteral("/Manifest.mbdb")));
        for (const char *plist : {"Manifest.plist", "Info.plist", "Status.plist"})
            seed("plist", kind + QLatin1Char('-') + QLatin1String(plist),
                 readAll(folder + QLatin1Char('/') + QLatin1String(plist)));
        const MbdbIndex index = readManifestDb(folder + QStringLiteral("/Manifest.mbdb"));
        int n = 0;
        for (const MbdbIndex::const_iterator &record : sortedRecords(index))
            seed("mbfile", kind + QString::number(++n), MbFileArchive::encode(record.value()));
    }
}

// Manifest.db of a plain modern backup, and the same list whose Files is a view that never
// ends or has a row of every odd kind.
void manifestFilesSeeds(const QString &work)
{
    ItunesBackupBuilder builder;
    builder.setFormat(BackupFormat::FilesDb);
    builder.addFile(QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/kik.sqlite"), "store");
    builder.addFile(QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/kik.sqlite\n"), "decoy");
    builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/a.plist"), "x");
    const QString folder = work + QStringLiteral("/files-db");
    builder.build(folder);
    const QString list = folder + QStringLiteral("/Manifest.db");
    seed("manifestfiles", QStringLiteral("plain"), compactStore(list));

    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(list).constData(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot open " + list.toStdString());
    sql(db, "INSERT INTO Files VALUES ('00', 'HomeDomain', 'x', 3, x'00'), ('bad', 'd', 'p', 1, NULL)");
    sqlite3_close(db);
    seed("manifestfiles", QStringLiteral("odd-rows"), compactStore(list));
    if (sqlite3_open(QFile::encodeName(list).constData(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot open " + list.toStdString());
    sql(db, "DROP TABLE Files; CREATE VIEW Files AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
            "SELECT hex(i) AS fileID, 'HomeDomain' AS domain, i AS relativePath, 1 AS flags, NULL AS file FROM n");
    sqlite3_close(db);
    seed("manifestfiles", QStringLiteral("endless-view"), compactStore(list));
}

// Keybags of both kinds with the ManifestKey of their backup appended as a record of its own,
// so that the keybag target finds it among the last 44 bytes.
void keybagSeeds(const QString &work)
{
    ItunesBackupDevice device;
    device.productVersion = QStringLiteral("17.5");
    for (const bool modern : {true, false}) {
        ItunesBackupBuilder builder(device);
        builder.setFormat(BackupFormat::FilesDb);
        builder.setPassword(QStringLiteral("password"), 1);
        builder.setKeybagFormat(modern ? ItunesBackupBuilder::KeybagFormat::Modern : ItunesBackupBuilder::KeybagFormat::Old, 1);
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/a.plist"), "x");
        builder.build(work + (modern ? QStringLiteral("/modern") : QStringLiteral("/old")));
        char length[4];
        qToBigEndian(quint32(builder.manifestKey().size()), length);
        seed("keybag", modern ? QStringLiteral("dpsl-dpic") : QStringLiteral("old"),
             builder.keybag() + "MKEY" + QByteArray(length, 4) + builder.manifestKey());
    }
}

QByteArray afcPacket(quint64 operation, const QByteArray &body)
{
    QByteArray packet("CFA6LPAA");
    packet += AfcChannel::word(quint64(AfcChannel::HeaderSize + body.size()));
    packet += AfcChannel::word(quint64(AfcChannel::HeaderSize));
    packet += AfcChannel::word(1);
    packet += AfcChannel::word(operation);
    return packet + body;
}

QByteArray frame(const CFType &message, int format = CFType::XmlFormat)
{
    const QByteArray body = message.toPlistData(format);
    char length[4];
    qToBigEndian(quint32(body.size()), length);
    return QByteArray(length, 4) + body;
}

void phoneSeeds()
{
    const QByteArray info("st_size\0"
                          "4096\0"
                          "st_blocks\0"
                          "8\0"
                          "st_nlink\0"
                          "1\0"
                          "st_ifmt\0"
                          "S_IFREG\0"
                          "st_mtime\0"
                          "1458000000000000000\0"
                          "st_birthtime\0"
                          "1458000000000000000\0",
                          112);
    seed("afc", QStringLiteral("file-info-listing-data"),
         afcPacket(AfcChannel::Data, info) + afcPacket(AfcChannel::Data, QByteArray(".\0..\0kik.sqlite\0attachments\0", 29))
             + afcPacket(AfcChannel::FileOpenResult, AfcChannel::word(3)) + afcPacket(AfcChannel::Data, "SQLite format 3"));
    seed("afc", QStringLiteral("not-found"), afcPacket(AfcChannel::Status, AfcChannel::word(AfcChannel::ObjectNotFound)));

    CFType backupDomain = CFType::newDictionary();
    backupDomain.setValue(QStringLiteral("CloudBackupEnabled"), CFType::fromBool(false));
    backupDomain.setValue(QStringLiteral("WillEncrypt"), CFType::fromBool(true));
    CFType queryType = CFType::newDictionary();
    queryType.setValue(QStringLiteral("Request"), CFType("QueryType"));
    queryType.setValue(QStringLiteral("Type"), CFType("com.apple.mobile.lockdown"));
    CFType versionExchange = CFType::newArray();
    versionExchange.append(CFType("DLMessageVersionExchange"));
    versionExchange.append(CFType::fromInt64(300));
    versionExchange.append(CFType::fromInt64(0));
    CFType processMessage = CFType::newArray();
    processMessage.append(CFType("DLMessageProcessMessage"));
    CFType status = CFType::newDictionary();
    status.setValue(QStringLiteral("ErrorCode"), CFType::fromInt64(0));
    status.setValue(QStringLiteral("MessageName"), CFType("Response"));
    processMessage.append(status);
    seed("servicemessage", QStringLiteral("lockdown"), frame(queryType) + frame(backupDomain, CFType::BinaryFormat));
    seed("servicemessage", QStringLiteral("devicelink"), frame(versionExchange) + frame(processMessage));

    // A phone's side of a backup: an upload of one file, a listing, a move, a hostile name.
    const QString udid = QStringLiteral("00008030-001A2B3C4D5E6F70");
    auto dlMessage = [](std::initializer_list<CFType> items) {
        CFType message = CFType::newArray();
        for (const CFType &item : items)
            message.append(item);
        return frame(message, CFType::BinaryFormat);
    };
    auto bigEndian = [](quint32 value) {
        char bytes[4];
        qToBigEndian(value, bytes);
        return QByteArray(bytes, 4);
    };
    auto streamedFile = [&](const QString &name, const QByteArray &bytes) {
        const QByteArray utf8 = name.toUtf8();
        return bigEndian(quint32(utf8.size())) + utf8 + bigEndian(quint32(utf8.size())) + utf8
               + bigEndian(quint32(bytes.size() + 1)) + '\x0c' + bytes + bigEndian(1) + QByteArray(1, '\0');
    };
    CFType moves = CFType::newDictionary();
    moves.setValue(udid + QStringLiteral("/Manifest.db.new"), CFType(udid + QStringLiteral("/Manifest.db")));
    seed("backupmessages", QStringLiteral("upload"),
         dlMessage({CFType("DLMessageCreateDirectory"), CFType(udid + QStringLiteral("/3d"))})
             + dlMessage({CFType("DLMessageUploadFiles"), CFType::newDictionary(), CFType::fromDouble(10), CFType::fromInt64(5)})
             + streamedFile(udid + QStringLiteral("/3d/3d0d7e5f"), "hello") + bigEndian(0)
             + dlMessage({CFType("DLContentsOfDirectory"), CFType(udid)})
             + dlMessage({CFType("DLMessageMoveItems"), moves, CFType::newDictionary(), CFType::fromDouble(50)}));
    seed("backupmessages", QStringLiteral("hostile-name"),
         dlMessage({CFType("DLMessageUploadFiles"), CFType::newDictionary(), CFType::fromDouble(1), CFType::fromInt64(1)})
             + streamedFile(udid + QStringLiteral("/../../planted"), "x") + bigEndian(0));
    seed("backupmessages", QStringLiteral("purge-and-space"),
         dlMessage({CFType("DLMessagePurgeDiskSpace"), CFType::fromInt64(1 << 20)})
             + dlMessage({CFType("DLMessageGetFreeDiskSpace")})
             + dlMessage({CFType("DLMessageDownloadFiles"), CFType::newArray(), CFType::newDictionary(), CFType::fromDouble(1)}));

    seed("updatecheck", QStringLiteral("address"), "http://download.example.com/parlewick-3.2.exe\r\n");
    seed("updatecheck", QStringLiteral("advertisement"), "<a href=\"http://example.com/offer\">Half price today</a>");
    seed("updatecheck", QStringLiteral("no-update"), QByteArray("0\0trailing", 10));

    QVariantHash hash;
    hash.insert(QStringLiteral("name"), QStringLiteral("Ann Example"));
    hash.insert(QStringLiteral("count"), 3);
    hash.insert(QStringLiteral("when"), qint64(1458000000000));
    hash.insert(QStringLiteral("ratio"), 0.5);
    hash.insert(QStringLiteral("picture"), QByteArray("\x89PNG\r\n", 6));
    hash.insert(QStringLiteral("list"), QVariantList{1, QStringLiteral("two"), QVariantHash{{QStringLiteral("k"), 3.0}}});
    seed("tinykv", QStringLiteral("values"), toTinyKv(hash));
}

}   // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds <folder>\n");
        return 2;
    }
    g_out = QFile::decodeName(argv[1]);
    QTemporaryDir work;
    try {
        backupSeeds(work.path());
        manifestFilesSeeds(work.path());
        keybagSeeds(work.path());
        kikSeeds(work.path());
        phoneSeeds();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
