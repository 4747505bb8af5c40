#pragma once

#include "simiphone/ServiceStream.h"

#include <QByteArray>
#include <QVariantMap>

class UsbmuxServer;

// One client of the multiplexer: 16-byte little-endian header (length, version 1, message 8 =
// property list, tag) and an XML body with a MessageType. After a successful Connect the
// socket carries the phone's service and nothing else; after Listen it carries device events.
class UsbmuxConnection
{
public:
    UsbmuxConnection(int fd, UsbmuxServer &server);
    void run();

private:
    bool receive(quint32 *version, quint32 *message, quint32 *tag, QByteArray *payload);
    bool sendPlist(quint32 tag, const QVariantMap &body);
    bool sendResult(quint32 tag, quint32 number);
    void listen(quint32 tag);
    void connectToPhone(quint32 tag, const QVariantMap &request);
    void readPairRecord(quint32 tag, const QVariantMap &request);
    void savePairRecord(quint32 tag, const QVariantMap &request);
    void deletePairRecord(quint32 tag, const QVariantMap &request);
    void record(const QString &udid, const QVariantMap &request, QJsonObject entry) const;

    int m_fd;
    UsbmuxServer &m_server;
    ServiceStream m_stream;
    int m_connection;
};
