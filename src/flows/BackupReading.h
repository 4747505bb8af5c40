#pragma once

#include "app/Secret.h"
#include "flows/Export.h"
#include "workers/KikBackupAccounts.h"

#include <QSharedPointer>
#include <QString>

class BackupManifest;
class FlowInteraction;

// The steps every workflow that reads an iTunes backup takes, in this order.

// Reads a backup's metadata; refuses one whose backup never finished. Raises on failure.
PARLEWICK_FLOWS_EXPORT void readBackupInfoThrow(BackupManifest &backup);

// Where Kik's files were copied out of a backup.
struct PARLEWICK_FLOWS_EXPORT KikExtraction
{
    QString appFolder;            // the folder to open Kik's store in
    KikBackupLocation location;   // where the backup keeps that store
};

// Unlocks an encrypted backup (the user's password, which *password receives when given),
// reads its file list and copies Kik's files out of it into cacheRoot (empty: the program's own
// cache of the backup), asking for one of several Kik accounts unless one was given. False when
// the user gave up, a task failed or was canceled; raises when the list cannot be read, and
// notFoundText when the backup holds no Kik store (taking back the side files copied without it).
PARLEWICK_FLOWS_EXPORT bool openAndExtractKik(FlowInteraction &interaction, const QSharedPointer<BackupManifest> &backup,
                                              const QString &cacheRoot, const QString &notFoundText, KikExtraction *out,
                                              Secret *password = nullptr);

// Tries a password the user gave before on an encrypted backup, behind the front end's progress
// (the key derivation takes seconds); the keybag is set when it unlocks.
enum class KnownPassword { Unlocked, Refused, Stopped };
PARLEWICK_FLOWS_EXPORT KnownPassword unlockWithKnownPassword(FlowInteraction &interaction,
                                                             const QSharedPointer<BackupManifest> &backup,
                                                             const Secret &password);

// The text when a backup holds no Kik data.
PARLEWICK_FLOWS_EXPORT QString kikNotFoundText();
