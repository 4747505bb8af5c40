#pragma once

#include "device/Export.h"

#include <QtGlobal>

#include <memory>

class AfcChannel;

// A file opened on the phone through AfcClient::openRead or openWrite. It shares its
// client's channel, so it never writes into a socket the client has closed meanwhile.
// Closed with the object.
class PARLEWICK_DEVICE_EXPORT AfcFile
{
public:
    AfcFile() = default;
    ~AfcFile();
    AfcFile(const AfcFile &) = delete;
    AfcFile &operator=(const AfcFile &) = delete;

    bool isOpen() const { return m_handle != 0; }
    quint64 handle() const { return m_handle; }

    // Bytes read (0 at the end of the file), -1 on error. Reads 64 KiB per request.
    int read(char *buffer, int length);
    // Bytes written, -1 on error. Writes 32 KiB per request, each acknowledged by the phone.
    int write(const char *data, int length);
    // The phone's status for the lock request (0 on success); -1 when it was not answered.
    qint64 lock(quint64 operation);
    // Errors are ignored: the handle is given up either way.
    void close();

private:
    friend class AfcClient;
    void attach(const std::shared_ptr<AfcChannel> &channel, quint64 handle);

    std::shared_ptr<AfcChannel> m_channel;
    quint64 m_handle = 0;
};
