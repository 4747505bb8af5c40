#include "device/AfcChannel.h"

#include "app/AppError.h"
#include "device/MobileDeviceService.h"
#include "device/ServiceSocket.h"

#include <QDebug>
#include <QString>
#include <QtEndian>

namespace {

const char kMagic[] = "CFA6LPAA";

[[noreturn]] void fail(const QString &text)
{
    qDebug().noquote() << text;
    failWith(text);
}

// What the phone's status answer means, for messages that say why a request failed.
QString statusReason(quint64 code)
{
    switch (code) {
    case 8:
        return QStringLiteral("the iPhone has no such file.");
    case 9:
        return QStringLiteral("it is a folder on the iPhone.");
    case 10:
        return QStringLiteral("the iPhone refused it (no permission).");
    case 16:
        return QStringLiteral("something of that name is already there.");
    case 17:
        return QStringLiteral("the file is in use on the iPhone.");
    case 18:
        return QStringLiteral("the iPhone's storage is full.");
    case 20:
        return QStringLiteral("the iPhone reported a read or write error.");
    default:
        return QStringLiteral("the iPhone refused the request.");
    }
}

quint64 firstWord(const QByteArray &bytes)
{
    return bytes.size() >= 8 ? qFromLittleEndian<quint64>(bytes.constData()) : 0;
}

}   // namespace

AfcChannel::AfcChannel(int socket)
    : m_socket(socket)
{
}

AfcChannel::~AfcChannel()
{
    close();
}

void AfcChannel::close()
{
    if (m_socket >= 0)
        mobiledevice_closesocket(m_socket);
    m_socket = -1;
}

QByteArray AfcChannel::word(quint64 value)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray AfcChannel::pathArgument(const QString &path)
{
    return path.toUtf8() + '\0';
}

quint64 AfcChannel::packetNumber() const
{
    // Not a counter: the socket's number, with 0 (never a service socket here) spelled out.
    return m_socket == 0 ? 0xFFFFFFFFULL : quint64(m_socket);
}

void AfcChannel::sendRequest(quint64 operation, const QByteArray &payload, const char *data, qint64 dataLength)
{
    const quint64 thisLength = quint64(HeaderSize + payload.size());
    QByteArray header(kMagic, 8);
    header += word(thisLength + quint64(qMax<qint64>(dataLength, 0)));
    header += word(thisLength);
    header += word(packetNumber());
    header += word(operation);

    const int timeout = ServiceSocket::DefaultTimeoutMs;
    if (!isOpen() || ServiceSocket::send(m_socket, header.constData(), HeaderSize, timeout) < HeaderSize)
        breakDown(QStringLiteral("send AFC header (%1) error.").arg(operation));
    if (!payload.isEmpty() && ServiceSocket::send(m_socket, payload.constData(), payload.size(), timeout) < payload.size())
        breakDown(QStringLiteral("send AFC content (%1) error.").arg(operation));
    if (dataLength > 0 && ServiceSocket::send(m_socket, data, dataLength, timeout) < dataLength)
        breakDown(QStringLiteral("write AFC file error."));
}

QByteArray AfcChannel::receiveAnswer(quint64 *status)
{
    const int timeout = ServiceSocket::DefaultTimeoutMs;
    char header[HeaderSize];
    if (!isOpen() || ServiceSocket::receive(m_socket, header, HeaderSize, timeout) < HeaderSize
        || QByteArray::fromRawData(header, 8) != QByteArray::fromRawData(kMagic, 8))
        breakDown(QStringLiteral("read AFC header failed."));
    const quint64 entireLength = qFromLittleEndian<quint64>(header + 8);
    const quint64 operation = qFromLittleEndian<quint64>(header + 32);

    QByteArray rest;
    if (entireLength > quint64(HeaderSize)) {
        const quint64 more = entireLength - quint64(HeaderSize);
        // An implausible length is refused before anything is allocated for it.
        if (more > MaxAnswerLength || ServiceSocket::receiveAppend(m_socket, &rest, qint64(more), timeout) < qint64(more))
            breakDown(QStringLiteral("read AFC file block data failed."));
    }

    switch (operation) {
    case Data:
    case FileOpenResult:
    case FileTellResult:
        return rest;
    case Status: {
        const quint64 code = firstWord(rest);
        if (status) {
            *status = code;
            return {};
        }
        if (code != 0)
            fail(QStringLiteral("read AFC failed, received AFC_OP_STATUS, param1=%1: %2").arg(code).arg(statusReason(code)));
        return {};
    }
    default:
        fail(QStringLiteral("read AFC failed, Unknown operation code received %1, param1=%2.")
                 .arg(operation)
                 .arg(firstWord(rest)));
    }
}

void AfcChannel::breakDown(const QString &text)
{
    // Half a packet went out or came in: what follows on the socket can no longer be told
    // apart, so the channel ends here rather than misread it.
    close();
    fail(text);
}

QByteArray AfcChannel::request(quint64 operation, const QByteArray &payload, quint64 *status)
{
    sendRequest(operation, payload);
    return receiveAnswer(status);
}
