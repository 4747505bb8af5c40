#include "workers/IOSMergeWAFiles2iTunesBKThread.h"

#include "itunes/BackupFileStaging.h"
#include "itunes/BackupManifest.h"
#include "itunes/ManifestDb.h"
#include "workers/AbsProgressTarget.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <stdexcept>

IOSMergeWAFiles2iTunesBKThread::IOSMergeWAFiles2iTunesBKThread(const QSharedPointer<BackupManifest> &backup,
                                                               const IOSFileItemList &files,
                                                               AbsProgressTarget *progress, QObject *parent)
    : QThread(parent)
    , m_backup(backup)
    , m_files(files)
    , m_progress(progress)
{
}

void IOSMergeWAFiles2iTunesBKThread::run()
{
    postProgress(m_progress, QStringLiteral("Transferring files..."), 0, QString());
    try {
        mergeThrow();
        postSuccess(m_progress, QString());
    } catch (int) {
        // canceled: the backup is as it was
    } catch (const std::exception &error) {
        postError(m_progress, QString::fromUtf8(error.what()));
    }
}

void IOSMergeWAFiles2iTunesBKThread::mergeThrow()
{
    // Plain files in an encrypted backup would be read back as garbage.
    if (m_backup->encrypted())
        throw std::runtime_error("Failed to export messages to iTunes backup because your current iTunes backup is encrypted.");
    if (backupFormatOf(m_backup->folder()) == BackupFormat::FilesDb)
        throw std::runtime_error("Failed to export messages to iTunes backup: writing into backups of iOS 10 and later "
                                 "is not supported yet. Your backup was not changed.");
    const QString manifestPath = QDir(m_backup->folder()).filePath(QStringLiteral("Manifest.mbdb"));
    MbdbIndex index = readManifestDb(manifestPath);
    // A store written where the backup keeps none would be one Kik never reads (its files lie
    // elsewhere on newer phones): nothing is written then.
    for (const IOSFileItem &item : std::as_const(m_files)) {
        if (item.path.endsWith(QLatin1String("/kik.sqlite")) && !index.contains(backupFileName(item.domain, item.path)))
            throw std::runtime_error(QStringLiteral("This iTunes backup holds no Kik database at %1 %2; nothing was changed.")
                                         .arg(item.domain, item.path)
                                         .toStdString());
    }
    BackupFileStaging staging(m_backup->folder());
    const int total = int(m_files.size());
    for (int k = 0; k < total; ++k) {
        m_progress->throwIfCanceled();
        const IOSFileItem &item = m_files.at(k);
        postProgress(m_progress, QString(), int(double(k + 1) / total * 100),
                     QStringLiteral("File: %1").arg(QFileInfo(QLatin1Char('/') + item.path).fileName()));
        if (item.path.isEmpty() || item.localPath.isEmpty() || !QFileInfo(item.localPath).isFile())
            continue;
        const QString name = backupFileName(item.domain, item.path);
        const QString target = staging.targetPath(name);
        if (!item.overwrite && (QFileInfo::exists(target) || staging.isStaged(name))) {
            qDebug("IOSMergeWAFiles2iTunesBKThread: %s exists.", qUtf8Printable(target));
            continue;
        }
        const QString copy = staging.stageThrow(item.localPath, name);
        qDebug("IOSMergeWAFiles2iTunesBKThread: %s ==> %s", qUtf8Printable(target), qUtf8Printable(item.path));
        addFileRecord(index, copy, item.domain, item.path);
    }
    m_progress->throwIfCanceled();
    staging.commitThrow([&] { writeManifestDb(index, manifestPath); });
}
