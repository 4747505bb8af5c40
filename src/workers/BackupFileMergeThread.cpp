#include "workers/BackupFileMergeThread.h"

#include "app/AppError.h"
#include "itunes/BackupContentWriter.h"
#include "itunes/BackupManifest.h"
#include "workers/AbsProgressTarget.h"
#include "workers/TaskRun.h"

#include <QDebug>
#include <QFileInfo>

BackupFileMergeThread::BackupFileMergeThread(const QSharedPointer<BackupManifest> &backup, const BackupWriteLock &lock,
                                             const IOSFileItemList &files, AbsProgressTarget *progress, QObject *parent)
    : QThread(parent)
    , m_backup(backup)
    , m_lock(lock)
    , m_files(files)
    , m_progress(progress)
{
}

void BackupFileMergeThread::run()
{
    postProgress(m_progress, QStringLiteral("Transferring files..."), 0, QString());
    // A cancel or a failure leaves the backup as it was.
    runTask(m_progress, [this] {
        mergeThrow();
        return QString();
    });
}

void BackupFileMergeThread::mergeThrow()
{
    BackupContentWriter writer(*m_backup, m_lock);
    // A store written where the backup keeps none would be one Kik never reads (its files lie
    // elsewhere on newer phones): nothing is written then.
    for (const IOSFileItem &item : std::as_const(m_files)) {
        if (item.path.endsWith(QLatin1String("/kik.sqlite")) && !writer.holdsFile(item.domain, item.path))
            failWith(QStringLiteral("This iTunes backup holds no Kik database at %1 %2; nothing was changed.")
                         .arg(item.domain, item.path));
    }
    const int total = int(m_files.size());
    for (int k = 0; k < total; ++k) {
        m_progress->throwIfCanceled();
        const IOSFileItem &item = m_files.at(k);
        postProgress(m_progress, QString(), int(double(k + 1) / total * 100),
                     QStringLiteral("File: %1").arg(QFileInfo(QLatin1Char('/') + item.path).fileName()));
        if (item.path.isEmpty() || item.localPath.isEmpty() || !QFileInfo(item.localPath).isFile())
            continue;
        if (!item.overwrite && writer.holdsFile(item.domain, item.path)) {
            qDebug("BackupFileMergeThread: %s exists.", qUtf8Printable(item.path));
            continue;
        }
        writer.putFileThrow(item.localPath, item.domain, item.path);
        qDebug("BackupFileMergeThread: %s ==> %s", qUtf8Printable(item.localPath), qUtf8Printable(item.path));
    }
    postProgress(m_progress, QStringLiteral("Checking the backup..."), 100, QString());
    writer.commitThrow([this] { m_progress->throwIfCanceled(); });
}
