#include "KikBackupReadBack.h"

#include "RecordingProgress.h"
#include "kik/IOSKikDb.h"
#include "workers/IOSLoadKikFromiTunesThread.h"

KikDataSetPtr readKikBack(const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot, KikBackupLocation *location)
{
    RecordingProgress progress;
    IOSLoadKikFromiTunesThread extraction(backup, &progress, cacheRoot);
    progress.run(extraction);
    if (!progress.errors().isEmpty() || !extraction.found())
        return {};
    if (location)
        *location = extraction.location();
    IOSKikDb db(extraction.appFolder());
    db.setOpenMode(IOSKikDb::ReadOnlyMode);
    db.open();
    const KikDataSetPtr set = KikDataSetPtr::create();
    db.load(set);
    return set;
}
