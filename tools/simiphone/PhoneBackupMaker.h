#pragma once

#include "simiphone/PhoneBackupSnapshot.h"
#include "simiphone/SimPhoneFolder.h"

#include <QString>
#include <QStringList>

// What makePhoneBackup made beside the folder's files.
struct PhoneBackupMade
{
    bool incremental = false;
    PhoneBackupSnapshot snapshot;   // of this backup, to keep once the computer holds it whole
    QStringList removed;            // backup file names of the earlier backup that are gone
};

// The backup a phone sends, made into a folder of its own: every app container as
// "AppDomain-<bundle id>" and every App Group container as "AppDomainGroup-<group id>" (without
// tmp and Library/Caches, which phones leave out), Manifest.plist with the phone's lockdown
// values and apps, Status.plist, the file list and the payloads; encrypted when the phone has
// a backup password. Info.plist is the computer's to write and is not made. Since an earlier
// plain backup the computer holds whole, only the payloads of new and changed files are made
// (the file list names them all). Throws std::runtime_error.
PhoneBackupMade makePhoneBackup(const SimPhoneFolder &phone, const QString &folder, const PhoneBackupSnapshot *since = nullptr);
