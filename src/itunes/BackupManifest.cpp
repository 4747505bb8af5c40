#include "itunes/BackupManifest.h"

#include "app/AppError.h"
#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "app/RegularFile.h"
#include "itunes/AesCbcDecryptor.h"
#include "itunes/BackupCrypto.h"
#include "itunes/BackupFileCrypt.h"
#include "itunes/BackupFileNode.h"
#include "itunes/BackupFileStaging.h"
#include "itunes/BackupKeybag.h"
#include "plist/CFType.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtDebug>

#include <optional>

namespace {

constexpr qint64 kChunkBytes = 8192;
// Read and decrypted this many chunks at a time: far fewer system calls, same result.
constexpr qint64 kBatchBytes = 128 * kChunkBytes;
// Manifest.plist is a few megabytes at most; anything far larger is not one.
constexpr qint64 kMaxPlistBytes = 256LL * 1024 * 1024;
// Status.plist holds a handful of values.
constexpr qint64 kMaxStatusBytes = 1024 * 1024;

QString displayNameFor(const QString &folderName, const QString &uniqueDeviceId, const QString &deviceName)
{
    if (!uniqueDeviceId.isEmpty() && folderName.contains(uniqueDeviceId))
        return QString(folderName).replace(uniqueDeviceId, deviceName);
    return deviceName + QLatin1Char('-') + folderName;
}

QString damagedText(const QString &path)
{
    return QStringLiteral("%1 is damaged: it is not the property list of an iTunes Backup.").arg(QDir::toNativeSeparators(path));
}

// Why Status.plist does not say "finished", in the few words of a list row. The state comes
// from the backup: only a short word of letters is repeated.
void setFileTimes(const QString &path, quint32 unixSeconds)
{
    QFile file(path);
    const QDateTime time = QDateTime::fromSecsSinceEpoch(unixSeconds, Qt::UTC);
    if (!file.open(QIODevice::ReadOnly) || !file.setFileTime(time, QFileDevice::FileModificationTime)
        || !file.setFileTime(time, QFileDevice::FileAccessTime))
        qWarning("can not set the times of %s. %s", qUtf8Printable(path), qUtf8Printable(file.errorString()));
}

}   // namespace

BackupManifest::BackupManifest(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_folder(QDir(folder).absolutePath())
{
}

BackupManifest::~BackupManifest() = default;

QString BackupManifest::identityKey() const
{
    return md5Hex(m_folder);
}

void BackupManifest::readInfo()
{
    const QString path = QDir(m_folder).filePath(QStringLiteral("Manifest.plist"));
    bool missing = false;
    const CFType root = CFType::fromPlistData(readRegularFileThrow(path, kMaxPlistBytes, &missing));
    if (missing)
        failWith(QStringLiteral("Cannot find ") + QFileInfo(path).absoluteFilePath());
    if (!root.isDictionary())
        failWith(damagedText(path));
    const CFType lockdown = root.value(QStringLiteral("Lockdown"));
    m_uniqueDeviceId = lockdown.value(QStringLiteral("UniqueDeviceID")).toQString();
    m_deviceName = lockdown.value(QStringLiteral("DeviceName")).toQString();
    m_productType = lockdown.value(QStringLiteral("ProductType")).toQString();
    m_productVersion = lockdown.value(QStringLiteral("ProductVersion")).toQString();
    m_serialNumber = lockdown.value(QStringLiteral("SerialNumber")).toQString();
    m_backupDate = root.value(QStringLiteral("Date")).toDateTime();
    // iTunes writes a boolean here; a number is taken as well. Anything else could hide an
    // encrypted backup, whose files would then be copied as they are stored.
    const CFType encrypted = root.value(QStringLiteral("IsEncrypted"));
    if (!encrypted.isBoolean() && !encrypted.isNumber())
        failWith(QStringLiteral("%1 is damaged: it does not say whether the backup is encrypted.")
                     .arg(QDir::toNativeSeparators(path)));
    m_encrypted = encrypted.isBoolean() ? int(encrypted.toBool()) : int(encrypted.toInt(0) != 0);
    m_keybagBlob = root.value(QStringLiteral("BackupKeyBag")).toByteArray();
    m_manifestKey = root.value(QStringLiteral("ManifestKey")).toByteArray();
    if (m_encrypted && m_keybagBlob.isEmpty())
        failWith(QStringLiteral("%1 is damaged: the backup is encrypted but its keybag is missing.")
                     .arg(QDir::toNativeSeparators(path)));
    readStatus();
    m_displayName = displayNameFor(QDir(m_folder).dirName(), m_uniqueDeviceId, m_deviceName);
}

// A backup the phone stopped writing lacks files or holds half-written ones.
void BackupManifest::readStatus()
{
    const QString path = QDir(m_folder).filePath(QStringLiteral("Status.plist"));
    bool missing = false;
    const QByteArray bytes = readRegularFileThrow(path, kMaxStatusBytes, &missing);
    const QString state = CFType::fromPlistData(bytes).value(QStringLiteral("SnapshotState")).toQString();
    m_finished = state == QLatin1String("finished");
    if (missing)
        m_unfinishedReason = QStringLiteral("Status.plist is missing");
    else if (state.isEmpty())
        m_unfinishedReason = QStringLiteral("Status.plist does not say whether the backup is finished");
    else if (!m_finished)
        m_unfinishedReason = QStringLiteral("Status.plist says it is %1, not finished").arg(state.left(40));
    else
        m_unfinishedReason.clear();
}

QString BackupManifest::unfinishedText() const
{
    return QStringLiteral("This iTunes Backup is unfinished (%1): the iPhone did not complete it, so it cannot be loaded.")
        .arg(m_unfinishedReason);
}

void BackupManifest::load()
{
    if (!m_tree.isEmpty())
        return;
    m_format = backupFormatOf(m_folder);
    m_listIdentity = FileIdentity::of(QDir(m_folder).filePath(listFileName()));
    // A transfer into this backup that was cut short leaves the old files to be read.
    m_readOldContent = m_format != BackupFormat::None && BackupFileStaging::isCutShortBeforeCommit(m_folder, listFileName());
    switch (m_format) {
    case BackupFormat::Mbdb:
        m_tree.build(readManifestDb(QDir(m_folder).filePath(QStringLiteral("Manifest.mbdb"))));
        break;
    case BackupFormat::FilesDb: {
        ManifestFilesContent content = readFilesDbThrow();
        m_skipped = content.skipped;
        m_tree.build(content.index);
        break;
    }
    case BackupFormat::None:
        failWith(QStringLiteral("%1 is not an iTunes Backup: it holds neither Manifest.db nor Manifest.mbdb.")
                     .arg(QDir::toNativeSeparators(m_folder)));
    }
}

QString BackupManifest::listFileName() const
{
    const BackupFormat format = m_format == BackupFormat::None ? backupFormatOf(m_folder) : m_format;
    return format == BackupFormat::Mbdb ? QStringLiteral("Manifest.mbdb") : QStringLiteral("Manifest.db");
}

bool BackupManifest::listIsAsLoaded() const
{
    return m_format == BackupFormat::None || FileIdentity::of(QDir(m_folder).filePath(listFileName())) == m_listIdentity;
}

QString BackupManifest::listChangedText() const
{
    return QStringLiteral("The iTunes backup %1 was changed by another program after it was read (%2 is no longer the "
                          "file that was read); nothing was changed. Try again.")
        .arg(QDir::toNativeSeparators(m_folder), listFileName());
}

QSharedPointer<BackupManifest> BackupManifest::currentThrow(const QSharedPointer<BackupManifest> &backup)
{
    if (backup->listIsAsLoaded())
        return backup;
    auto fresh = QSharedPointer<BackupManifest>::create(backup->m_folder);
    fresh->readInfo();
    // Another keybag is another password: the one given does not belong to it.
    if (fresh->m_keybagBlob != backup->m_keybagBlob || fresh->m_manifestKey != backup->m_manifestKey)
        failWith(backup->listChangedText());
    fresh->m_keybag = backup->m_keybag;
    fresh->load();
    return fresh;
}

ManifestFilesContent BackupManifest::readFilesDbThrow() const
{
    const QString path = QDir(m_folder).filePath(QStringLiteral("Manifest.db"));
    if (m_manifestKey.isEmpty())
        return readManifestFilesDb(path, path);   // plain: iOS 10.0 and 10.1 encrypt only the files
    if (!m_keybag)
        failWith(QStringLiteral("%1 is encrypted: the backup password is needed to read it.").arg(path));
    QByteArray key = m_keybag->unwrapManifestKey(m_manifestKey);
    const ScopedWipe wipeKey(key);
    // Owner-only and removed however this ends: the decrypted list names every file of the phone.
    const auto plainFolder = privateTemporaryFolderThrow();
    const QString plain = plainFolder->filePath(QStringLiteral("Manifest.db"));
    decryptManifestFilesDbThrow(path, plain, key, path);
    return readManifestFilesDb(plain, path);
}

QString BackupManifest::payloadPath(const BackupFileNode *node) const
{
    const QString &name = node->backupName();
    if (name.isEmpty())
        return QString();
    const QDir dir(m_folder);
    const QString path =
        m_format == BackupFormat::FilesDb ? dir.filePath(name.left(2) + QLatin1Char('/') + name) : dir.filePath(name);
    const QString old = BackupFileStaging::oldContentPath(path);
    return m_readOldContent && QFileInfo::exists(old) ? old : path;
}

bool BackupManifest::unlock(const Secret &password)
{
    const QSharedPointer<BackupKeybag> bag = unlockedKeybag(password);
    if (!bag)
        return false;
    m_keybag = bag;
    return true;
}

QSharedPointer<BackupKeybag> BackupManifest::unlockedKeybag(const Secret &password) const
{
    if (password.isEmpty())
        return {};
    const QString source = QDir(m_folder).filePath(QStringLiteral("Manifest.plist"));
    auto bag = QSharedPointer<BackupKeybag>::create(BackupKeybag::parseKeybag(m_keybagBlob, source));
    return bag->unlock(password.bytes()) ? bag : QSharedPointer<BackupKeybag>();
}

void BackupManifest::extractFile(const BackupFileNode *node, const QString &destination, const ExtractProgress &progress) const
{
    const MbdbRecord &rec = node->record();
    const QString source = payloadPath(node);
    if (source.isEmpty())
        failWith(QStringLiteral("can not open %1. %2").arg(node->name(), QStringLiteral("No file in the backup.")));
    QFile in;
    openRegularFileThrow(in, source);

    QDir().mkpath(QFileInfo(destination).absolutePath());
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        failWith(QStringLiteral("can not create %1. %2").arg(destination, fileWriteReason(out)));

    const QString named = QStringLiteral("%1 (%2)").arg(node->name(), QDir::toNativeSeparators(source));
    // Ciphertext never comes out as if it were the file.
    QByteArray key;
    if (m_encrypted) {
        if (!m_keybag)
            failWith(QStringLiteral("%1 is encrypted: the backup password is needed to extract it.").arg(named));
        key = m_keybag->fileKey(rec.protectionClass, rec.encryptionKey.bytes);
        if (key.isEmpty())
            failWith(QStringLiteral("%1 cannot be decrypted: its key in the backup's file list is damaged.").arg(named));
    }
    const ScopedWipe wipeKey(key);
    std::optional<AesCbcDecryptor> decryptor;
    if (!key.isEmpty())
        decryptor.emplace(key);
    // The phone may write a database's log while it backs it up, so these may disagree with
    // their records; they are still decrypted.
    const bool sizeMayDiffer = node->name().endsWith(QLatin1String("-wal")) || node->name().endsWith(QLatin1String("-shm"));
    const auto damaged = [&] {
        // A transfer that committed while this was read replaced the file: that is no damage.
        if (!listIsAsLoaded())
            failWith(QStringLiteral("The iTunes backup %1 was written by another task while it was read; read it again.")
                         .arg(QDir::toNativeSeparators(m_folder)));
        failWith(QStringLiteral("%1 is damaged: its content does not agree with the %2 bytes the backup's file list gives.")
                     .arg(named)
                     .arg(rec.size));
    };

    const qint64 total = in.size();
    if (decryptor && !sizeMayDiffer && quint64(total) != (rec.size / 16 + 1) * 16 && total % 16 == 0)
        damaged();
    qint64 done = 0;
    QByteArray lastBlock;   // held back until the end: it carries the padding
    QByteArray buffer(kBatchBytes, Qt::Uninitialized);
    auto *bytes = reinterpret_cast<uchar *>(buffer.data());
    for (;;) {
        const qint64 got = in.read(buffer.data(), kBatchBytes);
        if (got < 0)
            failWith(QStringLiteral("can not read %1. %2").arg(source, in.errorString()));
        if (got == 0)
            break;
        qint64 keep = got;
        if (decryptor) {
            if (got % 16 != 0)
                failWith(QStringLiteral("%1 is damaged: its encrypted content is not a whole number of blocks.").arg(named));
            decryptor->decrypt(bytes, bytes, size_t(got));
            keep = got - 16;
            if (out.write(lastBlock) != lastBlock.size())
                failWith(QStringLiteral("can not write %1. %2").arg(destination, fileWriteReason(out)));
            lastBlock = buffer.mid(keep, 16);
        }
        if (out.write(buffer.constData(), keep) != keep)
            failWith(QStringLiteral("can not write %1. %2").arg(destination, fileWriteReason(out)));
        if (progress) {
            for (qint64 chunkEnd = done; chunkEnd < done + got;) {
                chunkEnd = std::min(chunkEnd + kChunkBytes, done + got);
                progress(total, chunkEnd);
            }
        }
        done += got;
    }
    qint64 length = done;
    if (decryptor && !(done == 0 && rec.size == 0)) {
        // Every encrypted file ends in padding, a log written during the backup too: without
        // it the end was changed or cut.
        if (!pkcs7Unpad(lastBlock))
            failWith(QStringLiteral("%1 is damaged: its last block does not end in valid padding, so its end was changed or cut.")
                         .arg(named));
        if (out.write(lastBlock) != lastBlock.size())
            failWith(QStringLiteral("can not write %1. %2").arg(destination, fileWriteReason(out)));
        length = done - 16 + lastBlock.size();
    }
    if (quint64(length) != rec.size && !sizeMayDiffer)
        damaged();
    if (!out.commit())
        failWith(QStringLiteral("can not write %1. %2").arg(destination, fileWriteReason(out)));
    setFileTimes(destination, rec.modificationTime);
}
