#pragma once

#include "simiphone/SimPhoneFolder.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// What a phone keeps of its last backup to a computer. The next backup to a computer that
// still holds that backup whole (its Status.plist finished with the same UUID, its Manifest.db
// byte for byte the one sent) sends only the files that changed since and removes those that
// went; any other computer gets everything. Kept in the phone's backup-snapshot.plist.
struct PhoneBackupSnapshot
{
    struct File
    {
        qint64 size = -1;
        qint64 modifiedMs = 0;
        qint64 changedMs = 0;   // the inode's change time: a rewrite within the same millisecond
        QByteArray digest;      // SHA-1 of the bytes sent

        bool sameAs(const File &other) const
        {
            return size == other.size && modifiedMs == other.modifiedMs && changedMs == other.changedMs;
        }
    };

    QString uuid;                // of the backup's Status.plist
    QByteArray fileListDigest;   // SHA-1 of the Manifest.db sent
    using Files = QHash<QString, File>;
    Files files;   // by backup file name

    static File ofLocalFile(const QString &path);      // without digest
    static QByteArray digestOf(const QString &path);   // empty when unreadable

    // Nothing when the phone keeps none (or it is damaged).
    static std::optional<PhoneBackupSnapshot> read(const SimPhoneFolder &phone);
    bool save(const SimPhoneFolder &phone) const;
    static void forget(const SimPhoneFolder &phone);
};
