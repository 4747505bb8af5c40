#include "simiphone/PhoneBackupSnapshot.h"

#include "simiphone/PlistCodec.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString snapshotPath(const SimPhoneFolder &phone)
{
    return QDir(phone.path()).filePath(QStringLiteral("backup-snapshot.plist"));
}

}   // namespace

PhoneBackupSnapshot::File PhoneBackupSnapshot::ofLocalFile(const QString &path)
{
    const QFileInfo info(path);
    File file;
    file.size = info.size();
    file.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    file.changedMs = info.metadataChangeTime().toMSecsSinceEpoch();
    return file;
}

QByteArray PhoneBackupSnapshot::digestOf(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

std::optional<PhoneBackupSnapshot> PhoneBackupSnapshot::read(const SimPhoneFolder &phone)
{
    const QVariantMap saved = PlistCodec::readFile(snapshotPath(phone));
    PhoneBackupSnapshot snapshot;
    snapshot.uuid = saved.value(QStringLiteral("UUID")).toString();
    snapshot.fileListDigest = saved.value(QStringLiteral("FileListDigest")).toByteArray();
    if (snapshot.uuid.isEmpty() || snapshot.fileListDigest.isEmpty())
        return std::nullopt;
    const QVariantMap files = saved.value(QStringLiteral("Files")).toMap();
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QVariantMap entry = it.value().toMap();
        File file;
        file.size = entry.value(QStringLiteral("Size"), -1).toLongLong();
        file.modifiedMs = entry.value(QStringLiteral("Modified")).toLongLong();
        file.changedMs = entry.value(QStringLiteral("Changed")).toLongLong();
        file.digest = entry.value(QStringLiteral("Digest")).toByteArray();
        if (file.size < 0 || file.digest.isEmpty())
            return std::nullopt;
        snapshot.files.insert(it.key(), file);
    }
    return snapshot;
}

bool PhoneBackupSnapshot::save(const SimPhoneFolder &phone) const
{
    QVariantMap entries;
    for (auto it = files.begin(); it != files.end(); ++it)
        entries.insert(it.key(), QVariantMap{{QStringLiteral("Size"), it->size},
                                             {QStringLiteral("Modified"), it->modifiedMs},
                                             {QStringLiteral("Changed"), it->changedMs},
                                             {QStringLiteral("Digest"), it->digest}});
    return PlistCodec::writeFile(snapshotPath(phone), QVariantMap{{QStringLiteral("UUID"), uuid},
                                                                  {QStringLiteral("FileListDigest"), fileListDigest},
                                                                  {QStringLiteral("Files"), entries}});
}

void PhoneBackupSnapshot::forget(const SimPhoneFolder &phone)
{
    QFile::remove(snapshotPath(phone));
}
