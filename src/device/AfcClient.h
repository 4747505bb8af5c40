#pragma once

#include "device/AfcFileInfo.h"
#include "device/Export.h"
#include "device/MobileDeviceHandle.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class AfcChannel;
class AfcFile;

// Files on a phone over AFC: the media area, or the container of one installed app. Made,
// opened, used and closed on one thread; requests go one at a time.
//
//     AfcClient client(device);
//     client.open("com.kik.chat");                 // raises the user's text on failure
//     for (const AfcFileInfo &entry : client.listEntries("/Documents")) ...
//     AfcFile file;
//     if (client.openRead("/Documents/kik.sqlite", &file)) file.read(buffer, size);
//
// Names listed by the phone are its own: listEntries drops any that could step out of the
// folder ("", ".", "..", or containing "/"); listDirectory hands back every name as given,
// so a caller joining those to local paths must check them (sanitizeFileName).
class PARLEWICK_DEVICE_EXPORT AfcClient
{
public:
    explicit AfcClient(MobileDeviceHandle *device);
    ~AfcClient();
    AfcClient(const AfcClient &) = delete;
    AfcClient &operator=(const AfcClient &) = delete;

    // An empty bundle identifier opens the media area ("com.apple.afc"), any other the app's
    // container ("com.apple.mobile.house_arrest"). Raises AppError: the session's
    // or the service's text, or "can not find <bundle>." and a line with the phone's answer.
    void open(const QString &bundleId = QString());
    void close();   // safe to call twice; files opened through the client stop working
    bool isOpen() const;
    int socket() const;   // 0 when not open

    // false / -1 / empty on any error; the error's text goes to the log and to lastError().
    bool makeDir(const QString &path);
    bool remove(const QString &path);
    bool rename(const QString &from, const QString &to);
    bool openRead(const QString &path, AfcFile *file);
    bool openWrite(const QString &path, AfcFile *file);       // created or truncated
    bool openReadWrite(const QString &path, AfcFile *file);   // created when missing, kept as it is
    QStringList listDirectory(const QString &path);           // every name, "." and ".." too
    // Only the path (exists() false) when the phone says there is no such file; any other
    // error raises, so that it is never taken for an absent file.
    AfcFileInfo fileInfo(const QString &path);
    // Regular files and folders of a folder, with their paths joined to it, in the phone's
    // order; "." and ".." left out.
    QList<AfcFileInfo> listEntries(const QString &path);
    // The same, but a folder that cannot be listed raises the protocol's text.
    QList<AfcFileInfo> listEntriesThrow(const QString &path);
    // The text of the last failed makeDir, remove, rename or open, for saying why.
    QString lastError() const { return m_lastError; }

private:
    AfcChannel &channelThrow(quint64 operation);   // the channel, or the error of not having one
    QStringList listDirectoryThrow(const QString &path);
    bool openFile(const QString &path, quint64 mode, AfcFile *file);
    bool simpleRequest(const char *what, quint64 operation, const QByteArray &payload);

    MobileDeviceHandle *m_device;
    std::shared_ptr<AfcChannel> m_channel;
    QString m_lastError;
};
