#pragma once

#include "device/DeviceDescription.h"
#include "workers/Export.h"

#include <QString>
#include <QThread>

class AbsProgressTarget;
class AfcClient;
class IOSAfcFileDownload;

// Mirrors Kik's app container from a connected phone into the device's cache folder over AFC:
// the store files are always copied afresh, the side folders only where the phone's files
// changed since the last load. When the phone will not open the container, nothing is copied
// and useBackup() tells the caller to take Kik's files from a device backup instead; the task
// still ends successfully then.
class PARLEWICK_WORKERS_EXPORT IOSLoadKikMessagesThread : public QThread
{
    Q_OBJECT
public:
    static constexpr char BundleId[] = "com.kik.chat";
    static constexpr char CacheFileName[] = "com.kik.manifest.db";

    IOSLoadKikMessagesThread(const DeviceDescription &device, AbsProgressTarget *progress, QObject *parent = nullptr);
    ~IOSLoadKikMessagesThread() override;

    // The local mirror of the container, to open Kik's store in.
    QString appFolder() const { return m_appFolder; }
    // Read after the task succeeded.
    bool useBackup() const { return m_useBackup; }

protected:
    void run() override;

private:
    void loadThrow();
    void downloadStoreThrow(AfcClient &client, IOSAfcFileDownload &downloader);
    void removeLocalStore() const;

    DeviceDescription m_device;
    AbsProgressTarget *m_progress;
    QString m_cacheFolder;
    QString m_appFolder;
    bool m_useBackup = false;
};
