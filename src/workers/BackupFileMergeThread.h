#pragma once

#include "workers/Export.h"
#include "workers/IOSFileItem.h"

#include <QSharedPointer>
#include <QThread>

class AbsProgressTarget;
class BackupManifest;
class BackupWriteLock;

// Puts file items into an iTunes backup folder of either format (Manifest.mbdb or Manifest.db)
// and records them in its file list; an encrypted backup needs its keybag unlocked first. A
// file the backup already holds is replaced only when its item says so. The backup changes
// all at once at the end (BackupContentWriter): a failure or a cancel leaves it byte for byte
// as it was. The caller holds the backup's write lock from before it read the backup until this
// task has ended. Needs no widgets: the window and parlewick-cli run it alike.
class PARLEWICK_WORKERS_EXPORT BackupFileMergeThread : public QThread
{
    Q_OBJECT
public:
    BackupFileMergeThread(const QSharedPointer<BackupManifest> &backup, const BackupWriteLock &lock, const IOSFileItemList &files,
                          AbsProgressTarget *progress, QObject *parent = nullptr);

protected:
    void run() override;

private:
    void mergeThrow();

    QSharedPointer<BackupManifest> m_backup;
    const BackupWriteLock &m_lock;
    IOSFileItemList m_files;
    AbsProgressTarget *m_progress;
};
