#pragma once

#include <QString>
#include <QStringList>

// Device backups are made in a folder named "__talvora_iosbk_temp" at a root the program
// chose once and remembers in "__talvora_iosbk_temp.path" in the data folder.
inline constexpr char TempBackupFolderName[] = "__talvora_iosbk_temp";
inline constexpr char TempBackupRootFileName[] = "__talvora_iosbk_temp.path";

// The folder below the remembered root; empty when no root is remembered.
QString rememberedTempBackupFolder();
// Removes that folder with everything in it, and forgets the root. Only a folder of that
// fixed name is ever removed, whatever the remembered text says.
void clearTempBackupFolder();

// The folder device backups go into (not created here). A remembered root that is still an
// existing folder is kept; otherwise the writable local volume with the most free space is
// chosen, or the data folder when no volume root can be written to, and remembered.
QString chooseTempBackupFolder();
// Of the given roots, the one the user can write to with the most free space (the first of
// equals); defaultRoot when none can be written to.
QString pickTempBackupRoot(const QStringList &roots, const QString &defaultRoot);
// Bytes available to this user on the folder's volume; -1 when that cannot be told.
qint64 freeDiskSpace(const QString &folder);
