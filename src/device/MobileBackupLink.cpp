#include "device/MobileBackupLink.h"

#include "device/MobileBackupError.h"
#include "device/ServiceMessage.h"
#include "device/ServiceSocket.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace {

constexpr qsizetype kBufferBytes = 1 << 20;
const char kEmptyParameter[] = "___EmptyParameterString___";

}   // namespace

MobileBackupLink::MobileBackupLink(int socket, Idler idler)
    : m_socket(socket)
    , m_idler(std::move(idler))
{
    m_lastByte.start();
}

void MobileBackupLink::fill()
{
    if (m_read > 0 && m_read == m_buffer.size()) {
        m_buffer.resize(0);
        m_read = 0;
    }
    for (;;) {
        const ServiceSocket::WaitResult ready = ServiceSocket::wait(m_socket, false, SliceMs);
        if (ready == ServiceSocket::TimedOut) {
            m_idler();
            continue;
        }
        const qsizetype start = m_buffer.size();
        m_buffer.resize(start + kBufferBytes);
        const ssize_t n = ::recv(m_socket, m_buffer.data() + start, size_t(kBufferBytes), 0);
        m_buffer.resize(start + std::max<ssize_t>(n, 0));
        if (n > 0) {
            m_lastByte.start();
            return;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        throw MobileBackupErrors::connectionLost();
    }
}

void MobileBackupLink::readExact(char *buffer, qint64 length)
{
    while (length > 0) {
        if (m_read == m_buffer.size())
            fill();
        const qint64 take = std::min<qint64>(length, m_buffer.size() - m_read);
        std::memcpy(buffer, m_buffer.constData() + m_read, size_t(take));
        m_read += take;
        buffer += take;
        length -= take;
    }
    // Keep the buffer from growing: what was handed out goes once it is half the buffer.
    if (m_read >= kBufferBytes / 2) {
        m_buffer.remove(0, m_read);
        m_read = 0;
    }
}

quint32 MobileBackupLink::readBigEndian32()
{
    char bytes[4];
    readExact(bytes, 4);
    return qFromBigEndian<quint32>(bytes);
}

void MobileBackupLink::writeAll(const char *data, qint64 length)
{
    while (length > 0) {
        const ServiceSocket::WaitResult ready = ServiceSocket::wait(m_socket, true, SliceMs);
        if (ready == ServiceSocket::TimedOut) {
            m_idler();
            continue;
        }
        const ssize_t n = ::send(m_socket, data, size_t(length), MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            length -= n;
        } else if (!(n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))) {
            throw MobileBackupErrors::connectionLost();
        }
    }
}

void MobileBackupLink::writeBigEndian32(quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    writeAll(bytes, 4);
}

void MobileBackupLink::sendMessage(const CFType &message)
{
    const QByteArray body = message.toPlistData(CFType::BinaryFormat);
    if (body.isEmpty())
        throw MobileBackupErrors::protocolError(QStringLiteral("a message could not be written"));
    QByteArray frame(4, '\0');
    qToBigEndian(quint32(body.size()), frame.data());
    frame += body;
    writeAll(frame.constData(), frame.size());
}

CFType MobileBackupLink::receiveMessage()
{
    const quint32 length = readBigEndian32();
    if (length == 0 || length > MaxServiceMessageLength)
        throw MobileBackupErrors::protocolError(QStringLiteral("a message of %1 bytes").arg(length));
    QByteArray body(qsizetype(length), '\0');
    readExact(body.data(), length);
    const CFType message = CFType::fromPlistData(body);
    if (!message.isArray() || message.count() < 1 || !message.at(0).isString())
        throw MobileBackupErrors::protocolError(QStringLiteral("a message that is no DeviceLink message"));
    return message;
}

void MobileBackupLink::sendStatus(qint64 code, const QString &text, const CFType &value)
{
    CFType message = CFType::newArray();
    message.append(CFType("DLMessageStatusResponse"));
    message.append(CFType::fromInt64(code));
    message.append(text.isEmpty() ? CFType(kEmptyParameter) : CFType(text));
    message.append(value.isNull() ? CFType::newDictionary() : value);
    sendMessage(message);
}
