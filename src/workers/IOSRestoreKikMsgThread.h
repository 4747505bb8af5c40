#pragma once

#include "device/DeviceDescription.h"
#include "kik/KikMessage.h"
#include "workers/Export.h"
#include "workers/IOSFileItem.h"

#include <QString>
#include <QThread>

#include <memory>

class AbsProgressTarget;
class AfcClient;
class IOSAfcFileDownload;
class IOSKikDb;

// Merges messages into the device's mirror of Kik's store and delivers the changed files:
// straight into Kik's app container on the phone (direct), or as a list of file items for an
// iTunes backup. The phone's store is replaced only by a complete, committed, consolidated
// kik.sqlite, never beside a write-ahead log of the store it replaces.
class PARLEWICK_WORKERS_EXPORT IOSRestoreKikMsgThread : public QThread
{
    Q_OBJECT
public:
    static constexpr char Domain[] = "AppDomain-com.kik.chat";

    IOSRestoreKikMsgThread(const DeviceDescription &device, const KikMessageList &messages, AbsProgressTarget *progress,
                           QObject *parent = nullptr);
    ~IOSRestoreKikMsgThread() override;

    // True (the default) for the direct route; false collects file items instead.
    void setDirect(bool direct) { m_direct = direct; }
    bool direct() const { return m_direct; }
    QString appFolder() const { return m_appFolder; }

    // Read after the task succeeded.
    int transferred() const { return m_transferred; }
    const IOSFileItemList &fileList() const { return m_fileList; }

protected:
    void run() override;

private:
    void restoreThrow();
    void mergeThrow();
    void deliverStoreThrow();
    void replaceStoreOnPhoneThrow();
    void putFile(const QString &localPath, const QString &devicePath, bool overwrite,
                 const QString &domain = QLatin1String(Domain));

    DeviceDescription m_device;
    KikMessageList m_messages;
    AbsProgressTarget *m_progress;
    QString m_cacheFolder;
    QString m_appFolder;
    bool m_direct = true;
    int m_transferred = 0;
    IOSFileItemList m_fileList;
    std::unique_ptr<AfcClient> m_client;
    std::unique_ptr<IOSAfcFileDownload> m_uploader;
};
