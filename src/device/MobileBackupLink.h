#pragma once

#include "device/Export.h"
#include "plist/CFType.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <functional>

// The DeviceLink framing of the phone's backup service on one socket: messages are arrays
// ("DLMessage...", ...) sent as binary property lists behind a 4-byte big-endian length, and
// between them the raw file streams. Reads are buffered. Every wait is cut into short slices;
// after each slice without progress the idler runs, which throws to stop the wait (a cancel,
// a phone gone, a stall). A closed or failing socket raises the lost connection.
class PARLEWICK_DEVICE_EXPORT MobileBackupLink
{
public:
    using Idler = std::function<void()>;
    static constexpr int SliceMs = 200;

    MobileBackupLink(int socket, Idler idler);

    void sendMessage(const CFType &message);
    // The next message: a non-empty array whose first item is a string.
    CFType receiveMessage();
    // ["DLMessageStatusResponse", code, text or the empty marker, value]
    void sendStatus(qint64 code, const QString &text, const CFType &value = CFType());

    void readExact(char *buffer, qint64 length);
    quint32 readBigEndian32();
    void writeAll(const char *data, qint64 length);
    void writeBigEndian32(quint32 value);

    // Milliseconds since the phone last sent a byte (or since the link was made).
    qint64 silenceMs() const { return m_lastByte.elapsed(); }

    static QString messageName(const CFType &message) { return message.at(0).toQString(); }

private:
    void fill();   // at least one more byte into the buffer

    int m_socket;
    Idler m_idler;
    QByteArray m_buffer;
    qsizetype m_read = 0;   // bytes of m_buffer already handed out
    QElapsedTimer m_lastByte;
};
