#include "workers/IOSLoadKikMessagesThread.h"

#include "app/AppError.h"
#include "app/FileReasons.h"
#include "device/AfcClient.h"
#include "device/DeviceCacheFolder.h"
#include "device/MobileDeviceHandle.h"
#include "workers/AbsProgressTarget.h"
#include "workers/IOSAfcFileDownload.h"
#include "workers/TaskRun.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

const char *const kStoreFiles[] = {"kik.sqlite", "kik.sqlite-shm", "kik.sqlite-wal"};
const char *const kSideFolders[] = {"profpix", "attachments", "content_manager"};

QString devicePath(const char *name)
{
    return QStringLiteral("/Documents/") + QLatin1String(name);
}

}   // namespace

IOSLoadKikMessagesThread::IOSLoadKikMessagesThread(const DeviceDescription &device, AbsProgressTarget *progress, QObject *parent)
    : QThread(parent)
    , m_device(device)
    , m_progress(progress)
    , m_cacheFolder(deviceCacheFolder(device))
    , m_appFolder(QDir(m_cacheFolder).filePath(QLatin1String(BundleId)))
{
}

IOSLoadKikMessagesThread::~IOSLoadKikMessagesThread() = default;

void IOSLoadKikMessagesThread::run()
{
    m_useBackup = false;
    postProgress(m_progress, QObject::tr("IDS_LOADING_IOS_KIK"), AbsProgressTarget::Busy, QString());
    runTask(m_progress, [this] {
        loadThrow();
        return QString();
    });
}

void IOSLoadKikMessagesThread::loadThrow()
{
    const QString documents = QDir(m_appFolder).filePath(QStringLiteral("Documents"));
    makeFolderThrow(documents);
    // A store left from an earlier load must not pass for this phone's.
    removeLocalStore();

    AfcClient client(m_device.handle);
    try {
        client.open(QLatin1String(BundleId));
    } catch (const std::exception &error) {
        qDebug() << "Kik's container refused, a device backup is needed:" << error.what();
        m_useBackup = true;
        return;
    }

    // The cache is committed when the downloader goes, before the task reports success.
    {
        IOSAfcFileDownload downloader(QDir(m_cacheFolder).filePath(QLatin1String(CacheFileName)), m_progress);
        downloadStoreThrow(client, downloader);
        for (const char *folder : kSideFolders)
            downloader.downloadFolder(client, client.fileInfo(devicePath(folder)), documents, true);
    }
    client.close();
}

void IOSLoadKikMessagesThread::downloadStoreThrow(AfcClient &client, IOSAfcFileDownload &downloader)
{
    const QDir documents(QDir(m_appFolder).filePath(QStringLiteral("Documents")));
    try {
        for (const char *name : kStoreFiles)
            downloader.downloadFile(client, client.fileInfo(devicePath(name)), documents.filePath(QLatin1String(name)), false);
        const QFileInfo store(documents.filePath(QLatin1String(kStoreFiles[0])));
        if (!store.isFile() || store.size() == 0)
            failWith(QStringLiteral("Failded to load messages, please reinstall and verify Kik on your iPhone to try again."));
    } catch (...) {
        // Half a store (the database without its log) reads as other data than the phone's.
        removeLocalStore();
        throw;
    }
}

void IOSLoadKikMessagesThread::removeLocalStore() const
{
    const QDir documents(QDir(m_appFolder).filePath(QStringLiteral("Documents")));
    for (const char *name : kStoreFiles)
        QFile::remove(documents.filePath(QLatin1String(name)));
}
