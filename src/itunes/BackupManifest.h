#pragma once

#include "app/FileIdentity.h"
#include "app/Secret.h"
#include "itunes/BackupDiscovery.h"
#include "itunes/BackupFileTree.h"
#include "itunes/Export.h"
#include "itunes/ManifestFilesDb.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <functional>

class BackupKeybag;
class BackupFileNode;

// One iTunes backup folder: its metadata (Manifest.plist, Status.plist), its file tree (from
// Manifest.db or Manifest.mbdb) and, for an encrypted backup, its unlocked keybag. Shared
// through QSharedPointer.
class PARLEWICK_ITUNES_EXPORT BackupManifest : public QObject
{
    Q_OBJECT
public:
    // Bytes of the backup file read so far out of its size, after every 8192-byte chunk. It
    // may throw (a cancel) to abort; the destination is then left as it was.
    using ExtractProgress = std::function<void(qint64 total, qint64 done)>;

    explicit BackupManifest(const QString &folder, QObject *parent = nullptr);
    ~BackupManifest() override;

    // Reads Manifest.plist and Status.plist; throws AppError naming the file when
    // Manifest.plist is missing, unreadable or damaged, or either is no regular file (a FIFO
    // planted under the name is never waited on). A missing Status.plist leaves it unfinished.
    void readInfo();
    // MD5 hex of the absolute folder path: tells listed backups apart, names their caches.
    QString identityKey() const;

    QString uniqueDeviceId() const { return m_uniqueDeviceId; }
    QString deviceName() const { return m_deviceName; }
    QDateTime backupDate() const { return m_backupDate; }
    QString productType() const { return m_productType; }
    QString productVersion() const { return m_productVersion; }
    QString serialNumber() const { return m_serialNumber; }
    int encrypted() const { return m_encrypted; }
    QByteArray keybagBlob() const { return m_keybagBlob; }
    // Manifest.plist's ManifestKey (iOS 10.2 and later): Manifest.db is encrypted with its key.
    QByteArray manifestKey() const { return m_manifestKey; }
    QString displayName() const { return m_displayName; }
    QString folder() const { return m_folder; }
    // Status.plist says the phone finished writing this backup; only such a backup is loaded.
    bool isFinished() const { return m_finished; }
    // Why an unfinished backup is not loaded, with what Status.plist said (or that it is missing).
    QString unfinishedText() const;
    // The same in a few words for the backup's row in a list ("Status.plist is missing"); empty
    // for a finished backup.
    QString unfinishedReason() const { return m_unfinishedReason; }

    // Reads the file list (Manifest.db or Manifest.mbdb) and builds the file tree, once.
    // Throws AppError; never writes into the backup folder.
    void load();
    // The file list is still the file the load read (nothing replaced or wrote it since); true
    // before a load.
    bool listIsAsLoaded() const;
    // The name of the file list of this backup's format ("Manifest.db", "Manifest.mbdb").
    QString listFileName() const;
    // Said when the file list changed after it was read for a write.
    QString listChangedText() const;
    // backup itself while its list is as it loaded it (or it is not loaded), else the backup
    // read again from its folder, with the same keybag.
    static QSharedPointer<BackupManifest> currentThrow(const QSharedPointer<BackupManifest> &backup);
    // Rows of Manifest.db the last load left out (nothing for Manifest.mbdb).
    const ManifestFilesSkipped &skippedRows() const { return m_skipped; }
    const BackupFileNode *rootNode() const { return m_tree.root(); }
    const BackupFileTree &fileTree() const { return m_tree; }

    // Unlocks the keybag with the backup password. False for an empty or wrong password;
    // throws AppError for a damaged keybag. The password is not kept. The key
    // derivation takes seconds: the program runs it on a worker (UnlockBackupThread).
    bool unlock(const Secret &password);
    // The keybag unlocked with the password, or null for an empty or wrong password; leaves
    // this backup as it is, so a worker may call it. Throws as unlock does.
    QSharedPointer<BackupKeybag> unlockedKeybag(const Secret &password) const;
    // Takes a keybag that unlockedKeybag gave.
    void setKeybag(const QSharedPointer<BackupKeybag> &keybag) { m_keybag = keybag; }
    QSharedPointer<const BackupKeybag> keybag() const { return m_keybag; }

    // Where a file node's content lies: beside the list in old backups, in the sub-folder named
    // by the first two characters of its name in modern ones. Empty for nodes made up for the tree.
    QString payloadPath(const BackupFileNode *node) const;
    // Copies a file node's content to destination (created with its folders), decrypting it in
    // an encrypted backup, and gives the copy the record's times. Throws AppError;
    // on any failure the destination is untouched.
    void extractFile(const BackupFileNode *node, const QString &destination,
                     const ExtractProgress &progress = ExtractProgress()) const;

private:
    void readStatus();
    ManifestFilesContent readFilesDbThrow() const;

    QString m_uniqueDeviceId;
    QString m_deviceName;
    QDateTime m_backupDate;
    QString m_productType;
    QString m_productVersion;
    QString m_serialNumber;
    int m_encrypted = 0;
    QByteArray m_keybagBlob;
    QByteArray m_manifestKey;   // iOS 10.2 and later: the key Manifest.db is encrypted with
    bool m_finished = false;
    QString m_unfinishedReason;
    QString m_displayName;
    QString m_folder;
    BackupFormat m_format = BackupFormat::None;   // of the file list the tree was built from
    FileIdentity m_listIdentity;                  // of that list, taken before it was read
    bool m_readOldContent = false;                // a transfer into it was cut short before its commit
    BackupFileTree m_tree;
    ManifestFilesSkipped m_skipped;
    QSharedPointer<BackupKeybag> m_keybag;   // set once unlocked
};
