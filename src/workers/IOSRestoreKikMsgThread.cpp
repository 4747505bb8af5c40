#include "workers/IOSRestoreKikMsgThread.h"

#include "app/AppError.h"
#include "app/FileReasons.h"
#include "app/FileUtils.h"
#include "device/AfcClient.h"
#include "device/DeviceCacheFolder.h"
#include "device/MobileDeviceHandle.h"
#include "kik/IOSKikDb.h"
#include "workers/AbsProgressTarget.h"
#include "workers/IOSAfcFileDownload.h"
#include "workers/IOSLoadKikMessagesThread.h"
#include "workers/TaskRun.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <stdexcept>

namespace {

const QString kDeviceStore = QStringLiteral("/Documents/kik.sqlite");
const QStringList kStoreLogs = {QStringLiteral("-wal"), QStringLiteral("-shm")};
// Names on the phone for the new store before it takes the old one's place, and for the old
// store's logs while the swap is under way.
const QString kStagedSuffix = QStringLiteral(".parlewick-new");
const QString kAsideSuffix = QStringLiteral(".parlewick-old");
const char *const kSideFolders[] = {"Documents/attachments", "Documents/content_manager/data_cache",
                                    "Documents/content_manager/metadata_cache"};

// Kik's container cannot be opened: said as it is, without the advice to restart the phone.
class KikNotInstalled : public AppError
{
public:
    using AppError::AppError;
};

}   // namespace

IOSRestoreKikMsgThread::IOSRestoreKikMsgThread(const DeviceDescription &device, const KikMessageList &messages,
                                               AbsProgressTarget *progress, QObject *parent)
    : QThread(parent)
    , m_device(device)
    , m_messages(messages)
    , m_progress(progress)
    , m_cacheFolder(deviceCacheFolder(device))
    , m_appFolder(QDir(m_cacheFolder).filePath(QLatin1String(IOSLoadKikMessagesThread::BundleId)))
{
}

IOSRestoreKikMsgThread::~IOSRestoreKikMsgThread() = default;

void IOSRestoreKikMsgThread::run()
{
    m_transferred = 0;
    m_fileList.clear();
    postProgress(m_progress, QStringLiteral("Writing the messages into Kik's store..."), 0, QString());
    runTask(
        m_progress,
        [this] {
            if (m_direct) {
                m_client = std::make_unique<AfcClient>(m_device.handle);
                try {
                    m_client->open(QLatin1String(IOSLoadKikMessagesThread::BundleId));
                } catch (const std::exception &error) {
                    throw KikNotInstalled(QObject::tr("IDS_NOT_INSTALL_KIK_ERR_%1").arg(QString::fromUtf8(error.what())));
                }
                m_uploader = std::make_unique<IOSAfcFileDownload>(
                    QDir(m_cacheFolder).filePath(QLatin1String(IOSLoadKikMessagesThread::CacheFileName)), m_progress);
            }
            restoreThrow();
            m_uploader.reset();
            m_client.reset();
            return QString();
        },
        {},
        [](const std::exception &error) {
            if (dynamic_cast<const KikNotInstalled *>(&error))
                return QString::fromUtf8(error.what());
            return QStringLiteral("Please restart your phone to try again.\n\n") + QString::fromUtf8(error.what());
        });
    m_uploader.reset();
    m_client.reset();
}

void IOSRestoreKikMsgThread::restoreThrow()
{
    for (const char *folder : kSideFolders) {
        const QString path = QDir(m_appFolder).filePath(QLatin1String(folder));
        makeFolderThrow(path);
    }
    mergeThrow();
    deliverStoreThrow();
}

void IOSRestoreKikMsgThread::mergeThrow()
{
    IOSKikDb store(m_appFolder);
    store.open();
    store.beginTran();
    const IOSKikDb::SideFileHandler deliver = [this](const QString &local, const QString &containerPath) {
        putFile(local, containerPath, false);
    };
    const int total = int(m_messages.size());
    for (int i = 0; i < total; ++i) {
        m_progress->throwIfCanceled();
        postProgress(m_progress, QString(), int(double(i + 1) / total * 100),
                     QStringLiteral("Messages: %1/%2").arg(i + 1).arg(total));
        if (store.mergeMessage(m_messages.at(i), m_appFolder, deliver))
            ++m_transferred;
    }
    m_progress->throwIfCanceled();
    store.commitTran();
    store.consolidate();
    // Everything into the database file itself: a store whose log still held pages would need
    // that log beside it on the phone, and a log sent after the store leaves a moment (or, on a
    // broken cable, for good) in which the phone reads the new store with no log or the old one.
    {
        Sqlite3Cursor checkpoint = store.queryThrow("PRAGMA wal_checkpoint(TRUNCATE)");
        if (checkpoint.moveNext() && checkpoint.getInt(0) != 0)
            failWith(QStringLiteral("kik.sqlite is busy and could not be completed."));
    }
    store.close();
}

void IOSRestoreKikMsgThread::deliverStoreThrow()
{
    const QString localStore = QDir(m_appFolder).filePath(QLatin1String(IOSKikDb::StoreFile));
    if (m_direct) {
        replaceStoreOnPhoneThrow();
        return;
    }
    putFile(localStore, kDeviceStore, true);
    // The backup may hold the old store's logs; restored beside the new store they would be
    // read as part of it. Empty logs are what a closed store leaves.
    const QString empty = QDir(m_cacheFolder).filePath(QStringLiteral("empty-store-log"));
    QFile emptyFile(empty);
    if (!emptyFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        failWith(QStringLiteral("can not create %1. %2").arg(empty, fileWriteReason(emptyFile)));
    emptyFile.close();
    for (const QString &log : kStoreLogs)
        putFile(empty, kDeviceStore + log, true);
}

// The new store is sent whole under another name first; only then are the old store's logs
// moved aside and the new store renamed into place. Any failure puts the old logs back, so the
// phone keeps its old store with its own logs, or gets the new one with none.
void IOSRestoreKikMsgThread::replaceStoreOnPhoneThrow()
{
    const QString localStore = QDir(m_appFolder).filePath(QLatin1String(IOSKikDb::StoreFile));
    const QString staged = kDeviceStore + kStagedSuffix;
    QStringList setAside;
    try {
        m_uploader->uploadFileThrow(*m_client, localStore, staged, true);
        for (const QString &log : kStoreLogs) {
            const QString path = kDeviceStore + log;
            if (!m_client->fileInfo(path).exists())
                continue;
            m_client->remove(path + kAsideSuffix);
            if (!m_client->rename(path, path + kAsideSuffix))
                failWith(QStringLiteral("can not move %1 aside: %2").arg(path, m_client->lastError()));
            setAside << path;
        }
        if (!m_client->rename(staged, kDeviceStore))
            failWith(QStringLiteral("can not replace %1: %2").arg(kDeviceStore, m_client->lastError()));
    } catch (...) {
        for (const QString &path : setAside)
            m_client->rename(path + kAsideSuffix, path);
        m_client->remove(staged);
        throw;
    }
    for (const QString &path : setAside)
        if (!m_client->remove(path + kAsideSuffix))
            qDebug("IOSRestoreKikMsgThread: can not remove %s", qUtf8Printable(path + kAsideSuffix));
}

void IOSRestoreKikMsgThread::putFile(const QString &localPath, const QString &devicePath, bool overwrite, const QString &domain)
{
    if (m_direct) {
        m_uploader->uploadFileThrow(*m_client, localPath, devicePath, overwrite);
        return;
    }
    QString path = devicePath;
    path.remove(QRegularExpression(QStringLiteral("^/")));
    m_fileList.append({domain, localPath, path, overwrite});
}
