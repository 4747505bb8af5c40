#pragma once

#include "kik/KikDataSet.h"

#include <QSharedPointer>
#include <QString>

class BackupManifest;
struct KikBackupLocation;

// Kik's messages as the program's own import reads them out of a loaded backup (copied into
// cacheRoot), and where the store lay; null when the import found none or failed.
KikDataSetPtr readKikBack(const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot,
                          KikBackupLocation *location = nullptr);
