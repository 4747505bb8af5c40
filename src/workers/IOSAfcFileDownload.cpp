#include "workers/IOSAfcFileDownload.h"

#include "app/AppError.h"
#include "app/FileReasons.h"
#include "app/FileUtils.h"
#include "device/AfcClient.h"
#include "device/AfcFile.h"
#include "device/AfcFileInfo.h"
#include "workers/AbsProgressTarget.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <stdexcept>

namespace {

constexpr int kDownloadBlock = 512 * 1024;
constexpr int kUploadBlock = 128 * 1024;
const QString kUploadSuffix = QStringLiteral(".upload");

[[noreturn]] void failReading(const QString &devicePath, const QString &reason)
{
    failWith(QStringLiteral("Please restart your phone to try again.\n\ncan not read %1: %2").arg(devicePath, reason));
}

// "<name>, <done>KB / <total>KB" in one pass, so that a "%" in a name from the phone stays text.
QString transferText(const char *verb, const QString &name, qint64 done, qint64 total)
{
    const QLocale locale;
    return QStringLiteral("%1 %2, %3KB / %4KB")
        .arg(QLatin1String(verb), name, locale.toString(done / 1024), locale.toString(total / 1024));
}

QString lastComponent(const QString &devicePath)
{
    return devicePath.section(QLatin1Char('/'), -1);
}

QString deviceParent(const QString &devicePath)
{
    const qsizetype slash = devicePath.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : devicePath.left(slash);
}

}   // namespace

IOSAfcFileDownload::IOSAfcFileDownload(const QString &cachePath, AbsProgressTarget *progress)
    : m_cache(cachePath)
    , m_progress(progress)
{
}

bool IOSAfcFileDownload::isCurrent(const AfcFileInfo &deviceFile, const QString &localPath)
{
    if (!deviceFile.modified.isValid())
        return false;
    // The remembered time alone is not enough: the local copy may have been removed since.
    const QFileInfo local(localPath);
    return local.isFile() && local.size() == deviceFile.size
           && m_cache.lastDate(deviceFile.path) == deviceFile.modified.toSecsSinceEpoch();
}

void IOSAfcFileDownload::downloadFile(AfcClient &client, const AfcFileInfo &deviceFile, const QString &localPath, bool useCache)
{
    m_progress->throwIfCanceled();
    const QString folder = QFileInfo(localPath).absolutePath();
    makeFolderThrow(folder);
    if (!deviceFile.isFile())
        return;
    if (useCache && isCurrent(deviceFile, localPath))
        return;

    AfcFile source;
    if (!client.openRead(deviceFile.path, &source))
        failReading(deviceFile.path, client.lastError());
    QSaveFile target(localPath);
    if (!target.open(QIODevice::WriteOnly))
        failWith(QStringLiteral("can not create %1.%2").arg(localPath, fileWriteReason(target)));
    if (m_buffer.size() < kDownloadBlock)
        m_buffer.resize(kDownloadBlock);
    const QString name = lastComponent(deviceFile.path);
    qint64 done = 0;
    for (;;) {
        if (m_progress->isCanceled()) {
            target.cancelWriting();   // the temporary file goes with the object
            throw TaskCanceled();
        }
        const int got = source.read(m_buffer.data(), kDownloadBlock);
        if (got < 0)
            failReading(deviceFile.path, QStringLiteral("the iPhone broke off sending it."));   // a cut-off copy must not pass
        if (got == 0)
            break;
        if (target.write(m_buffer.constData(), got) != got)
            failWith(QStringLiteral("write file %1 failed. %2").arg(localPath, fileWriteReason(target)));
        done += got;
        postProgress(m_progress, QString(), -1, transferText("Loading", name, done, deviceFile.size));
    }
    if (!target.commit())
        failWith(QStringLiteral("write file %1 failed. %2").arg(localPath, fileWriteReason(target)));
    if (useCache && deviceFile.modified.isValid())
        m_cache.setLastDate(deviceFile.path, deviceFile.modified.toSecsSinceEpoch());
}

void IOSAfcFileDownload::downloadFolder(AfcClient &client, const AfcFileInfo &deviceFolder, const QString &localParent,
                                        bool useCache)
{
    m_progress->throwIfCanceled();
    if (!deviceFolder.isDir())
        return;
    const QString folderName = sanitizeFileName(lastComponent(deviceFolder.path));
    if (folderName.isEmpty()) {
        qDebug() << "IOSAfcFileDownload: folder without a usable name skipped:" << deviceFolder.path;
        return;
    }
    const QString localFolder = QDir(localParent).filePath(folderName);
    QList<AfcFileInfo> entries;
    try {
        entries = client.listEntriesThrow(deviceFolder.path);
    } catch (const std::exception &error) {
        // An unreadable folder would otherwise look like an empty one.
        qDebug() << "IOSAfcFileDownload: listing" << deviceFolder.path << "failed:" << error.what();
        failReading(deviceFolder.path, QString::fromUtf8(error.what()));
    }
    makeFolderThrow(localFolder);
    for (const AfcFileInfo &entry : std::as_const(entries)) {
        if (entry.isDir()) {
            downloadFolder(client, entry, localFolder, useCache);
            continue;
        }
        const QString name = sanitizeFileName(lastComponent(entry.path));
        if (name.isEmpty()) {
            qDebug() << "IOSAfcFileDownload: file without a usable name skipped:" << entry.path;
            continue;
        }
        downloadFile(client, entry, QDir(localFolder).filePath(name), useCache);
    }
}

void IOSAfcFileDownload::uploadFileThrow(AfcClient &client, const QString &localPath, const QString &devicePath, bool overwrite)
{
    m_progress->throwIfCanceled();
    const QString name = QFileInfo(localPath).fileName();
    postProgress(m_progress, QString(), -1, QStringLiteral("Sending %1").arg(name));
    if (QFileInfo::exists(localPath) && !devicePath.isEmpty() && !overwrite) {
        const AfcFileInfo existing = client.fileInfo(devicePath);
        if (existing.isFile() && existing.size > 0)
            return;
    }
    const QString parent = deviceParent(devicePath);
    if (!client.fileInfo(parent).exists())
        client.makeDir(parent);
    sendThrow(client, localPath, devicePath);
}

// The file goes to a temporary name first and replaces the one on the phone only when whole:
// a broken cable must not leave Kik with half a database. The local file is opened before
// anything on the phone is touched.
void IOSAfcFileDownload::sendThrow(AfcClient &client, const QString &localPath, const QString &devicePath)
{
    QFile source(localPath);
    if (!source.open(QIODevice::ReadOnly))
        failWith(QStringLiteral("can not read %1: %2").arg(localPath, source.errorString()));
    const QString partial = devicePath + kUploadSuffix;
    const QString writeError = QStringLiteral("IOSAfcFileDownload::uploadFileThrow, write device file %1 error.").arg(devicePath);
    AfcFile target;
    if (!client.openWrite(partial, &target))
        failWith(QStringLiteral("can not create %1 on the iPhone: %2").arg(devicePath, client.lastError()));
    try {
        if (m_buffer.size() < kUploadBlock)
            m_buffer.resize(kUploadBlock);
        const QString name = QFileInfo(localPath).fileName();
        const qint64 total = source.size();
        qint64 done = 0;
        while (!source.atEnd()) {
            const qint64 got = source.read(m_buffer.data(), kUploadBlock);
            if (got < 0)
                failWith(QStringLiteral("IOSAfcFileDownload::uploadFileThrow, read %1 error. %2")
                             .arg(localPath, source.errorString()));
            if (got == 0)
                break;
            if (target.write(m_buffer.constData(), int(got)) != int(got))
                failWith(writeError);
            done += got;
            postProgress(m_progress, QString(), -1, transferText("Sending", name, done, total));
        }
        target.close();
        if (!client.rename(partial, devicePath))
            failWith(writeError);
    } catch (...) {
        target.close();
        client.remove(partial);
        throw;
    }
}
