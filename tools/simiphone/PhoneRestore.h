#pragma once

#include "simiphone/SimPhoneFolder.h"

#include "itunes/BackupManifest.h"

#include <QList>
#include <QString>
#include <QStringList>

class BackupFileNode;

// The phone's side of a restore, once the computer sent the backup's property lists and file
// list into backupFolder: which payloads it needs, then every file written into the container
// it belongs to. Only "AppDomain-<installed app>" and "AppDomainGroup-<group id>" files are
// restored; a domain or path that would lead anywhere else is skipped, never followed. Failures
// throw MobileBackupFailure (205 for a backup the phone cannot read).
class PhoneRestore
{
public:
    PhoneRestore(const SimPhoneFolder &phone, const QString &backupFolder);

    // Reads Manifest.plist and the file list, and unlocks an encrypted backup.
    void open(const QString &password);
    // The payloads to fetch, relative to the backup folder.
    QStringList payloadNames() const;
    // Decrypts every file beside its target first, then moves them all into place, so a
    // backup that cannot be read leaves the containers as they were.
    void apply();
    int skipped() const { return m_skipped; }

private:
    struct Item
    {
        const BackupFileNode *node;
        QString target;
    };

    QString targetOf(const QString &domain, const QString &path) const;

    SimPhoneFolder m_phone;
    BackupManifest m_backup;
    QList<Item> m_items;
    int m_skipped = 0;
};
