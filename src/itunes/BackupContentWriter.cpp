#include "itunes/BackupContentWriter.h"

#include "app/AppError.h"
#include "app/PrivateCache.h"
#include "db/Sqlite3Cursor.h"
#include "db/Sqlite3DB.h"
#include "db/Sqlite3Statement.h"
#include "itunes/AesCbcDecryptor.h"
#include "itunes/BackupCrypto.h"
#include "itunes/BackupDiscovery.h"
#include "itunes/BackupFileCrypt.h"
#include "itunes/BackupKeybag.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "itunes/ManifestFilesDb.h"
#include "itunes/MbFileArchive.h"
#include "itunes/MbFileArchiveUpdate.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

constexpr quint32 kMobileUser = 501;
// Apps' files are "until first user authentication" unless they ask otherwise.
constexpr quint8 kDefaultFileClass = 3;
constexpr quint8 kOldDefaultFileClass = 4;
constexpr qint64 kBlockBytes = 16;

QByteArray littleEndian32(quint32 v)
{
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(bytes, 4);
}

QByteArray sha1OfFileThrow(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        failWith(QStringLiteral("can not read %1. %2").arg(path, file.errorString()));
    return hash.result();
}

bool isRegularFile(const MbdbRecord &rec)
{
    return rec.kind() == MbdbRecord::Kind::File;
}

// A row of a phone's user (mobile) that the list lacked, all its times the given one.
MbdbRecord newRecord(const QString &domain, const QString &path, quint16 mode, quint32 time)
{
    MbdbRecord rec;
    rec.domain = domain.toUtf8();
    rec.path = path.toUtf8();
    rec.mode = mode;
    rec.userId = rec.groupId = kMobileUser;
    rec.modificationTime = rec.accessTime = rec.changeTime = rec.birthTime = time;
    return rec;
}

QString parentOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

// The plain length of an encrypted file: its last block, decrypted with the block before it as
// the chaining value, tells how much padding it ends in.
qint64 plainLengthThrow(const QString &path, const QByteArray &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        failWith(QStringLiteral("can not open %1. %2").arg(path, file.errorString()));
    const qint64 size = file.size();
    if (size < kBlockBytes || size % kBlockBytes != 0)
        return -1;
    const qint64 from = size >= 2 * kBlockBytes ? size - 2 * kBlockBytes : 0;
    if (!file.seek(from))
        return -1;
    const QByteArray tail = file.read(size - from);
    if (tail.size() != size - from)
        return -1;
    QByteArray last = tail.right(kBlockBytes);
    AesCbcDecryptor decryptor(key, from > 0 ? tail.left(kBlockBytes) : QByteArray());
    auto *bytes = reinterpret_cast<uchar *>(last.data());
    decryptor.decrypt(bytes, bytes, size_t(kBlockBytes));
    return pkcs7Unpad(last) ? size - kBlockBytes + last.size() : -1;
}

}   // namespace

struct BackupContentWriter::Existing
{
    bool found = false;
    QByteArray blob;   // Manifest.db: the row's archive as it is
    MbdbRecord rec;
};

BackupContentWriter::BackupContentWriter(const BackupManifest &backup, const BackupWriteLock &lock)
    : m_backup(backup)
    , m_staging(backup.folder())
{
    // With the lock held nobody else stages here, so whatever was left came from a run that ended.
    if (!lock.holds(backup.folder()))
        throw std::logic_error("the backup is written without its lock");
    if (backup.encrypted()) {
        m_keybag = backup.keybag();
        if (!m_keybag)
            failWith(QStringLiteral("Failed to export messages to iTunes backup because your current iTunes backup is "
                                    "encrypted."));
    }
    m_work = privateTemporaryFolderThrow();
    const QDir folder(backup.folder());
    m_filesDb = backupFormatOf(backup.folder()) == BackupFormat::FilesDb;
    // The file list is put in place last: it is what a commit cut short is told by.
    m_staging.recoverInterrupted(m_filesDb ? QStringLiteral("Manifest.db") : QStringLiteral("Manifest.mbdb"));
    // The messages were merged into what the load read: a list written since would be lost.
    checkListUnchangedThrow();
    if (!m_filesDb) {
        m_index = readManifestDb(folder.filePath(QStringLiteral("Manifest.mbdb")));
        m_before = m_index;
        return;
    }
    const QString list = folder.filePath(QStringLiteral("Manifest.db"));
    // Changes SQLite left beside it would be lost with the list, and then replayed onto the new one.
    if (QFileInfo(list + QStringLiteral("-wal")).size() > 0)
        failWith(QStringLiteral("%1 has unfinished changes beside it (Manifest.db-wal); nothing was changed.").arg(list));
    const QString plain = m_work->filePath(QStringLiteral("Manifest.db"));
    if (backup.manifestKey().isEmpty()) {
        QFile source(list);
        if (!source.copy(plain))
            failWith(QStringLiteral("can not read %1. %2").arg(list, source.errorString()));
    } else {
        QByteArray key = m_keybag->unwrapManifestKey(backup.manifestKey());
        const ScopedWipe wipeKey(key);
        decryptManifestFilesDbThrow(list, plain, key, list);
    }
    m_before = readManifestFilesDb(plain, list).index;
    m_db = std::make_unique<Sqlite3DB>();
    m_db->openThrow(plain, Sqlite3DB::ReadWrite);
    m_db->beginTran();
}

BackupContentWriter::~BackupContentWriter() = default;

QString BackupContentWriter::stagingName(const QString &backupName) const
{
    return m_filesDb ? backupName.left(2) + QLatin1Char('/') + backupName : backupName;
}

BackupContentWriter::Existing BackupContentWriter::existingFileThrow(const QString &name)
{
    Existing existing;
    if (!m_filesDb) {
        const auto it = m_index.constFind(name);
        if (it != m_index.cend() && isRegularFile(*it)) {
            existing.found = true;
            existing.rec = *it;
        }
        return existing;
    }
    Sqlite3Cursor row = m_db->queryThrow(Sqlite3Sql("SELECT file FROM Files WHERE fileID=? AND flags=1").addParam(name));
    if (!row.moveNext())
        return existing;
    existing.found = true;
    existing.blob = row.getBlob(0);
    if (!MbFileArchive::decode(existing.blob, existing.rec))
        failWith(QStringLiteral("The record of %1 in Manifest.db is damaged; nothing was changed.").arg(name));
    return existing;
}

bool BackupContentWriter::holdsFile(const QString &domain, const QString &path)
{
    const QString name = backupFileName(domain, path);
    return m_written.contains(name) || existingFileThrow(name).found;
}

// The protection class of the files in the same folder, else of any file of the domain.
quint8 BackupContentWriter::siblingClassThrow(const QString &domain, const QString &path)
{
    const QString parent = parentOf(path);
    const QString folderKey = domain + QLatin1Char('-') + parent;
    if (const auto known = m_siblingClasses.constFind(folderKey); known != m_siblingClasses.cend())
        return *known;
    const quint8 found = findSiblingClassThrow(domain, parent);
    m_siblingClasses.insert(folderKey, found);
    return found;
}

quint8 BackupContentWriter::findSiblingClassThrow(const QString &domain, const QString &parent)
{
    int inDomain = -1;
    auto consider = [&](const QString &otherPath, quint8 protectionClass) {
        if (parentOf(otherPath) == parent)
            return true;
        if (inDomain < 0)
            inDomain = protectionClass;
        return false;
    };
    if (m_filesDb) {
        Sqlite3Cursor rows =
            m_db->queryThrow(Sqlite3Sql("SELECT relativePath, file FROM Files WHERE domain=? AND flags=1").addParam(domain));
        while (rows.moveNext()) {
            MbdbRecord rec;
            if (MbFileArchive::decode(rows.getBlob(1), rec) && rec.protectionClass != 0
                && consider(QString::fromUtf8(rows.getBlob(0)), rec.protectionClass))
                return rec.protectionClass;
        }
    } else {
        const QByteArray domainUtf8 = domain.toUtf8();
        for (const MbdbRecord &rec : std::as_const(m_index)) {
            if (rec.domain.bytes == domainUtf8 && isRegularFile(rec) && rec.protectionClass != 0
                && consider(rec.path.toString(), rec.protectionClass))
                return rec.protectionClass;
        }
    }
    return inDomain > 0 ? quint8(inDomain) : kDefaultFileClass;
}

QByteArray BackupContentWriter::classKeyThrow(quint8 protectionClass) const
{
    QByteArray key = m_keybag->classKeys().value(protectionClass).value("KEY");
    if (key.isEmpty())
        failWith(QStringLiteral("The files there are kept with protection class %1, whose key the backup password does "
                                "not unlock; nothing was changed.")
                     .arg(protectionClass));
    return key;
}

void BackupContentWriter::putFileThrow(const QString &localFile, const QString &domain, const QString &path)
{
    const QString name = backupFileName(domain, path);
    const Existing existing = existingFileThrow(name);
    const QFileInfo info(localFile);
    const quint32 modified = quint32(info.lastModified().toSecsSinceEpoch());
    quint8 protectionClass = existing.found            ? existing.rec.protectionClass
                             : (m_filesDb || m_keybag) ? siblingClassThrow(domain, path)
                                                       : kOldDefaultFileClass;
    QByteArray keyField = existing.rec.encryptionKey.bytes;
    QString stored = localFile;
    if (m_keybag) {
        QByteArray fileKey = existing.found ? m_keybag->fileKey(protectionClass, keyField) : QByteArray();
        const ScopedWipe wipeKey(fileKey);
        if (fileKey.isEmpty()) {
            if (protectionClass == 0)
                protectionClass = siblingClassThrow(domain, path);
            fileKey = secureRandomBytes(32);
            keyField = littleEndian32(protectionClass) + aesKeyWrap(classKeyThrow(protectionClass), fileKey);
        }
        stored = m_work->filePath(name);
        encryptBackupFileThrow(localFile, stored, fileKey);
    }
    const QString copy = m_staging.stageThrow(stored, stagingName(name));
    if (stored != localFile)
        QFile::remove(stored);
    m_written.insert(name, copy);
    const QByteArray digest = sha1OfFileThrow(copy);

    if (!m_filesDb) {
        addFileRecord(m_index, localFile, domain, path);
        MbdbRecord &rec = m_index[name];
        rec.dataHash = digest;
        rec.protectionClass = protectionClass;
        rec.encryptionKey = keyField;
        return;
    }
    if (existing.found) {
        const QByteArray blob = MbFileArchive::withNewContent(existing.blob, quint64(info.size()), modified, digest);
        m_db->executeThrow(Sqlite3Sql("UPDATE Files SET file=? WHERE fileID=?").addParam(blob).addParam(name));
        return;
    }
    addFolderRowsThrow(domain, path, modified);
    MbdbRecord rec = newRecord(domain, path, 0100644, modified);
    rec.size = quint64(info.size());
    rec.protectionClass = protectionClass;
    rec.encryptionKey = keyField;
    ManifestFilesDbWriter(*m_db).putRowThrow(rec);
}

// Rows for the folders between the domain's root and a new file that the list lacks.
void BackupContentWriter::addFolderRowsThrow(const QString &domain, const QString &path, quint32 time)
{
    ManifestFilesDbWriter writer(*m_db);
    for (QString folder = parentOf(path); !folder.isEmpty(); folder = parentOf(folder)) {
        Sqlite3Cursor row =
            m_db->queryThrow(Sqlite3Sql("SELECT 1 FROM Files WHERE fileID=?").addParam(backupFileName(domain, folder)));
        if (!row.moveNext())
            writer.putRowThrow(newRecord(domain, folder, 040755, time));
    }
}

// Writes the new list into the private folder, reads it back from the bytes that will be
// stored and checks it. The file to put in place.
QString BackupContentWriter::writeListThrow()
{
    if (!m_filesDb) {
        QString list = m_work->filePath(QStringLiteral("Manifest.mbdb"));
        writeManifestDb(m_index, list);
        checkListThrow(list);
        return list;
    }
    QString plain = m_work->filePath(QStringLiteral("Manifest.db"));
    m_db->commitTran();
    m_db->execScriptThrow("PRAGMA wal_checkpoint(TRUNCATE);");
    Sqlite3Cursor integrity = m_db->queryThrow("PRAGMA integrity_check");
    if (!integrity.moveNext() || integrity.getBlob(0) != "ok")
        failWith(QStringLiteral("The new Manifest.db failed its integrity check; nothing was changed."));
    m_db.reset();
    if (m_backup.manifestKey().isEmpty()) {
        checkListThrow(plain);
        return plain;
    }
    QString encrypted = m_work->filePath(QStringLiteral("Manifest.db.encrypted"));
    const QString readBack = m_work->filePath(QStringLiteral("Manifest.db.read-back"));
    QByteArray key = m_keybag->unwrapManifestKey(m_backup.manifestKey());
    const ScopedWipe wipeKey(key);
    encryptBackupFileThrow(plain, encrypted, key);
    decryptManifestFilesDbThrow(encrypted, readBack, key, encrypted);
    checkListThrow(readBack);
    return encrypted;
}

void BackupContentWriter::checkListThrow(const QString &list)
{
    const MbdbIndex index = m_filesDb ? readManifestFilesDb(list, list).index : readManifestDb(list);
    const QString lost = QStringLiteral("The new file list of the backup failed its check (%1); nothing was changed.");
    for (auto it = m_before.cbegin(); it != m_before.cend(); ++it) {
        if (!index.contains(it.key()))
            failWith(lost.arg(QStringLiteral("%1 is missing").arg(it.key())));
    }
    const QDir folder(m_backup.folder());
    for (auto it = index.cbegin(); it != index.cend(); ++it) {
        if (!isRegularFile(*it))
            continue;
        const QString copy = m_written.value(it.key());
        if (!copy.isEmpty())
            checkStoredThrow(it.key(), *it, copy);
        // A file the backup lacked before is not this write's fault; a new one is.
        else if (!m_before.contains(it.key()) && !QFileInfo::exists(folder.filePath(stagingName(it.key()))))
            failWith(lost.arg(QStringLiteral("%1 has no content").arg(it.key())));
    }
}

void BackupContentWriter::checkStoredThrow(const QString &name, const MbdbRecord &rec, const QString &copy) const
{
    const QString wrong = QStringLiteral("%1 was not stored right (%2); nothing was changed.");
    qint64 length = QFileInfo(copy).size();
    if (m_keybag) {
        QByteArray key = m_keybag->fileKey(rec.protectionClass, rec.encryptionKey.bytes);
        const ScopedWipe wipeKey(key);
        if (key.isEmpty())
            failWith(wrong.arg(name, QStringLiteral("its key does not unwrap")));
        length = plainLengthThrow(copy, key);
    }
    if (length < 0 || quint64(length) != rec.size)
        failWith(wrong.arg(name, QStringLiteral("its size does not match")));
    if (!rec.dataHash.isEmpty() && rec.dataHash.bytes != sha1OfFileThrow(copy))
        failWith(wrong.arg(name, QStringLiteral("its digest does not match")));
}

void BackupContentWriter::commitThrow(const std::function<void()> &checkCanceled)
{
    checkCanceled();
    const QString list = writeListThrow();
    checkCanceled();
    m_staging.stageThrow(list, m_filesDb ? QStringLiteral("Manifest.db") : QStringLiteral("Manifest.mbdb"));
    checkCanceled();
    checkListUnchangedThrow();
    m_staging.commitThrow([] {});
}

void BackupContentWriter::checkListUnchangedThrow() const
{
    if (!m_backup.listIsAsLoaded())
        failWith(m_backup.listChangedText());
}
