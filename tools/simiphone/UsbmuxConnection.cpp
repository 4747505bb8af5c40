#include "simiphone/UsbmuxConnection.h"

#include "simiphone/LockdownService.h"
#include "simiphone/PlistCodec.h"
#include "simiphone/ReceivedLog.h"
#include "simiphone/UsbmuxServer.h"

#include <QDir>
#include <QtEndian>

#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr quint32 kHeaderSize = 16;
constexpr quint32 kMaxMessage = 1 << 20;
constexpr quint32 kMessageResult = 1;
constexpr quint32 kMessagePlist = 8;

enum Result : quint32 { Ok = 0, BadCommand = 1, BadDevice = 2, ConnectionRefused = 3, BadVersion = 6, InvalidArgument = 22 };

QString text(const QVariantMap &map, const char *key)
{
    return map.value(QLatin1String(key)).toString();
}

}   // namespace

UsbmuxConnection::UsbmuxConnection(int fd, UsbmuxServer &server)
    : m_fd(fd)
    , m_server(server)
    , m_stream(fd)
    , m_connection(server.nextConnectionId())
{
}

void UsbmuxConnection::run()
{
    quint32 version = 0, message = 0, tag = 0;
    QByteArray payload;
    while (receive(&version, &message, &tag, &payload)) {
        if (message != kMessagePlist) {
            // The old binary protocol: tell the client to speak property lists.
            QByteArray answer(kHeaderSize + 4, '\0');
            qToLittleEndian(quint32(answer.size()), answer.data());
            qToLittleEndian(quint32(0), answer.data() + 4);
            qToLittleEndian(kMessageResult, answer.data() + 8);
            qToLittleEndian(tag, answer.data() + 12);
            qToLittleEndian(quint32(BadVersion), answer.data() + 16);
            if (!m_stream.write(answer))
                return;
            continue;
        }
        const QVariantMap request = PlistCodec::parse(payload).toMap();
        const QString type = text(request, "MessageType");
        if (type == QLatin1String("ListDevices")) {
            QVariantList devices;
            for (const auto &phone : m_server.registry().attached())
                devices.append(PhoneRegistry::attachedEvent(*phone));
            if (!sendPlist(tag, {{QStringLiteral("DeviceList"), devices}}))
                return;
        } else if (type == QLatin1String("Listen")) {
            listen(tag);
            return;
        } else if (type == QLatin1String("Connect")) {
            connectToPhone(tag, request);
            return;
        } else if (type == QLatin1String("ReadBUID")) {
            if (!sendPlist(tag, {{QStringLiteral("BUID"), m_server.systemBuid()}}))
                return;
        } else if (type == QLatin1String("ReadPairRecord")) {
            readPairRecord(tag, request);
        } else if (type == QLatin1String("SavePairRecord")) {
            savePairRecord(tag, request);
        } else if (type == QLatin1String("DeletePairRecord")) {
            deletePairRecord(tag, request);
        } else if (!sendResult(tag, BadCommand)) {
            return;
        }
    }
}

bool UsbmuxConnection::receive(quint32 *version, quint32 *message, quint32 *tag, QByteArray *payload)
{
    char header[kHeaderSize];
    if (!m_stream.read(header, kHeaderSize))
        return false;
    const quint32 length = qFromLittleEndian<quint32>(header);
    *version = qFromLittleEndian<quint32>(header + 4);
    *message = qFromLittleEndian<quint32>(header + 8);
    *tag = qFromLittleEndian<quint32>(header + 12);
    if (length < kHeaderSize || length > kMaxMessage)
        return false;
    *payload = QByteArray(qsizetype(length - kHeaderSize), '\0');
    return m_stream.read(payload->data(), payload->size());
}

bool UsbmuxConnection::sendPlist(quint32 tag, const QVariantMap &body)
{
    const QByteArray xml = PlistCodec::toXml(body);
    QByteArray header(kHeaderSize, '\0');
    qToLittleEndian(quint32(kHeaderSize + xml.size()), header.data());
    qToLittleEndian(quint32(1), header.data() + 4);
    qToLittleEndian(kMessagePlist, header.data() + 8);
    qToLittleEndian(tag, header.data() + 12);
    return m_stream.write(header + xml);
}

bool UsbmuxConnection::sendResult(quint32 tag, quint32 number)
{
    return sendPlist(tag, {{QStringLiteral("MessageType"), QStringLiteral("Result")}, {QStringLiteral("Number"), number}});
}

void UsbmuxConnection::listen(quint32 tag)
{
    if (!sendResult(tag, Ok))
        return;
    auto events = std::make_shared<UsbmuxEventQueue>();
    m_server.registry().subscribe(events);
    for (;;) {
        pollfd waits[2] = {{m_fd, POLLIN, 0}, {events->wakeFd(), POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 && errno != EINTR)
            break;
        if (waits[0].revents) {
            // A listener only listens: anything it sends, or its going away, ends the subscription.
            char byte;
            if (::recv(m_fd, &byte, 1, MSG_DONTWAIT) <= 0)
                break;
        }
        bool sent = true;
        while (const std::optional<QVariantMap> event = events->pop())
            sent = sent && sendPlist(0, *event);
        if (!sent)
            break;
    }
    m_server.registry().unsubscribe(events);
}

void UsbmuxConnection::connectToPhone(quint32 tag, const QVariantMap &request)
{
    const auto phone = m_server.registry().findByDeviceId(request.value(QStringLiteral("DeviceID")).toUInt());
    // The client puts the port in network byte order into the integer.
    const quint32 raw = request.value(QStringLiteral("PortNumber")).toUInt();
    const quint16 port = quint16(((raw & 0xFF) << 8) | ((raw >> 8) & 0xFF));
    if (!phone) {
        sendResult(tag, BadDevice);
        return;
    }
    record(phone->udid(), request, {{QStringLiteral("port"), port}});
    const QString service = port == LockdownService::kPort ? LockdownService::serviceName() : phone->takeServicePort(port);
    const ServiceHandler handler = m_server.services().find(service);
    if (service.isEmpty() || (port != LockdownService::kPort && !handler)) {
        sendResult(tag, ConnectionRefused);
        return;
    }
    if (!phone->addConnection(m_fd)) {
        sendResult(tag, BadDevice);
        return;
    }
    if (sendResult(tag, Ok)) {
        ServiceContext context{m_stream, phone, service, m_connection, &m_server.registry()};
        if (port == LockdownService::kPort)
            LockdownService(context, m_server.services()).run();
        else
            handler(context);
    }
    phone->removeConnection(m_fd);
}

void UsbmuxConnection::readPairRecord(quint32 tag, const QVariantMap &request)
{
    const QString udid = text(request, "PairRecordID");
    if (!SimPhoneFolder::isValidUdid(udid)) {
        sendResult(tag, InvalidArgument);
        return;
    }
    const SimPhoneFolder folder(QDir(m_server.registry().phonesDir()).filePath(udid));
    record(udid, request, {});
    const QByteArray data = folder.pairRecordData();
    if (data.isEmpty())
        sendResult(tag, BadDevice);   // the daemon's ENOENT
    else
        sendPlist(tag, {{QStringLiteral("PairRecordData"), data}});
}

void UsbmuxConnection::savePairRecord(quint32 tag, const QVariantMap &request)
{
    const QString udid = text(request, "PairRecordID");
    const SimPhoneFolder folder(QDir(m_server.registry().phonesDir()).filePath(udid));
    if (!SimPhoneFolder::isValidUdid(udid) || !folder.exists()) {
        sendResult(tag, InvalidArgument);
        return;
    }
    record(udid, request, {});
    const bool saved = folder.savePairRecordData(request.value(QStringLiteral("PairRecordData")).toByteArray());
    sendResult(tag, saved ? Ok : InvalidArgument);
}

void UsbmuxConnection::deletePairRecord(quint32 tag, const QVariantMap &request)
{
    const QString udid = text(request, "PairRecordID");
    const SimPhoneFolder folder(QDir(m_server.registry().phonesDir()).filePath(udid));
    if (!SimPhoneFolder::isValidUdid(udid) || !folder.exists()) {
        sendResult(tag, InvalidArgument);
        return;
    }
    record(udid, request, {});
    folder.deletePairRecord();
    sendResult(tag, Ok);
}

void UsbmuxConnection::record(const QString &udid, const QVariantMap &request, QJsonObject entry) const
{
    const SimPhoneFolder folder(QDir(m_server.registry().phonesDir()).filePath(udid));
    if (!folder.exists())
        return;
    QVariantMap shown = request;
    shown.remove(QStringLiteral("PairRecordData"));   // keys stay out of the log
    entry.insert(QStringLiteral("kind"), QStringLiteral("usbmux"));
    entry.insert(QStringLiteral("message"), text(request, "MessageType"));
    entry.insert(QStringLiteral("request"), PlistCodec::toJson(shown));
    entry.insert(QStringLiteral("service"), QStringLiteral("usbmux"));
    entry.insert(QStringLiteral("connection"), m_connection);
    ReceivedLog::append(folder.receivedLogPath(), entry);
}
