#pragma once

#include <QString>
#include <QStringList>

// Where iTunes keeps backups for the user of home: the Windows places that exist under home
// (AppData/Roaming first, then the older "Application Data"), then this system's own place,
// which need not exist.
QStringList backupRootFolders(const QString &home);
QStringList backupRootFolders();  // for the current user

// Backup folders directly under root (those holding Manifest.mbdb and Manifest.plist),
// oldest first by modification time.
QStringList backupFolders(const QString &root);
