#pragma once

#include "simiphone/PlistChannel.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <optional>

// The phone's side of a DeviceLink service (mobilebackup2): arrays whose first item names the
// message ("DLMessage..."), the version exchange that opens the connection, the computer's
// status answers, and the raw file streams of uploads and downloads.
class DeviceLinkChannel
{
public:
    // Phones of iOS 14 and later speak 400, older ones 300.
    static constexpr quint64 kVersionMajorSince14 = 400;
    static constexpr quint64 kVersionMajorBefore14 = 300;
    static constexpr quint64 kVersionMinor = 0;

    // What the computer answers a request with: DLMessageStatusResponse [code, text, value].
    struct Status
    {
        qint64 code = 0;
        QString text;
        QVariant value;
    };

    explicit DeviceLinkChannel(ServiceContext &context);

    // DLMessageVersionExchange, the computer's DLVersionsOk, DLMessageDeviceReady.
    bool versionExchange(quint64 major);
    bool send(const QVariantList &message);
    bool sendProcessMessage(const QVariantMap &message);   // ["DLMessageProcessMessage", dict]
    // The next DL message, or nothing at the end of the stream or for anything else.
    std::optional<QVariantList> receive();
    // The next DLMessageProcessMessage's dictionary.
    std::optional<QVariantMap> receiveProcessMessage();
    std::optional<Status> receiveStatus();

    // Uploads: for every file its two names and its bytes in chunks, then a zero length. With
    // a limit, only that many bytes go, and false says the file was cut short.
    bool sendFile(const QString &deviceName, const QString &backupName, const QString &localFile, qint64 limit = -1);
    bool endFiles();
    // Downloads: the computer sends each asked file (name, chunks, success or error), then a
    // zero length; it stops at the first file it cannot send. received(name, localFile) is
    // called for each file that came whole; files go to target(name), written as they come.
    bool receiveFiles(const std::function<QString(const QString &name)> &target,
                      const std::function<void(const QString &name)> &received);

private:
    bool readBigEndian32(quint32 *value);
    bool writeChunk(char code, const QByteArray &bytes);

    ServiceContext &m_context;
    PlistChannel m_plist;
};
