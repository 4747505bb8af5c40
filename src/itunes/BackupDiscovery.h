#pragma once

#include "itunes/Export.h"

#include <QString>
#include <QStringList>

// Which file list a backup folder holds: Manifest.db (iOS 10 and later) or Manifest.mbdb
// (earlier phones). A folder with neither is no backup.
enum class BackupFormat { None, Mbdb, FilesDb };
PARLEWICK_ITUNES_EXPORT BackupFormat backupFormatOf(const QString &folder);

// Where iTunes keeps backups for the user of home: the Windows places that exist under home
// (AppData/Roaming first, then the older "Application Data", then the Microsoft Store iTunes
// place "Apple/MobileSync/Backup"), then this system's own place, which need not exist.
PARLEWICK_ITUNES_EXPORT QStringList backupRootFolders(const QString &home);
PARLEWICK_ITUNES_EXPORT QStringList backupRootFolders();   // for the current user

// Backup folders directly under root (those holding Manifest.plist and a file list),
// oldest first by modification time.
PARLEWICK_ITUNES_EXPORT QStringList backupFolders(const QString &root);

// Why the existing root cannot be searched, or empty when it can (or does not exist).
PARLEWICK_ITUNES_EXPORT QString backupRootProblem(const QString &root);
// The text for a root that cannot be listed, with the reason (a missing permission when none
// is given): the macOS place needs Full Disk Access.
PARLEWICK_ITUNES_EXPORT QString unreadableRootText(const QString &root, const QString &reason = QString());
