#pragma once

#include "db/FileCacheDb.h"
#include "workers/Export.h"

#include <QByteArray>
#include <QString>

class AbsProgressTarget;
class AfcClient;
struct AfcFileInfo;

// Copies files and folder trees from the phone to the computer, and single files back, over
// AFC, reporting to a progress target. A cancel throws TaskCanceled; failures raise
// AppError with the user's text. Used on one worker thread.
//
// Nothing is ever left half-written: a download goes to a temporary file beside its target and
// replaces the target only once complete; an upload goes to a temporary name on the phone and
// is renamed over the file there. Names from the phone pass through sanitizeFileName before
// they become local names.
class PARLEWICK_WORKERS_EXPORT IOSAfcFileDownload
{
public:
    // cachePath: the file cache database remembering each device file's modification time.
    IOSAfcFileDownload(const QString &cachePath, AbsProgressTarget *progress);

    // Copies one regular file to localPath (folders are made). With useCache, a file whose
    // modification time on the phone is the one remembered, and whose local copy is in place,
    // is not copied again.
    void downloadFile(AfcClient &client, const AfcFileInfo &deviceFile, const QString &localPath, bool useCache);
    // Copies a folder with everything in it into localParent, under its own name.
    void downloadFolder(AfcClient &client, const AfcFileInfo &deviceFolder, const QString &localParent, bool useCache);
    // Without overwrite, a non-empty file already at devicePath is kept and nothing is sent.
    void uploadFileThrow(AfcClient &client, const QString &localPath, const QString &devicePath, bool overwrite);

private:
    bool isCurrent(const AfcFileInfo &deviceFile, const QString &localPath);
    void sendThrow(AfcClient &client, const QString &localPath, const QString &devicePath);

    FileCacheDb m_cache;
    AbsProgressTarget *m_progress;
    QByteArray m_buffer;   // allocated on first use: 512 KiB for downloads, 128 KiB for uploads
};
