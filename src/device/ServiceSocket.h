#pragma once

#include "device/Export.h"

#include <QByteArray>
#include <QtGlobal>

// Waiting, sending and receiving on a service socket. Timeouts are in milliseconds; 0 looks
// once without waiting, below 0 means no limit. The timeout applies to each wait, not to the
// whole transfer.
namespace ServiceSocket {

inline constexpr int DefaultTimeoutMs = 60000;   // what every caller of the program uses

enum WaitResult { Ready, TimedOut, Failed };
// A failed wait is not a verdict: the send or receive that follows fails by itself if the
// socket is broken.
PARLEWICK_DEVICE_EXPORT WaitResult wait(int socket, bool forWriting, int timeoutMs);

// Bytes sent, 0 when length is not positive or the socket never became writable. A partial
// send is continued while the socket keeps accepting bytes within the timeout.
PARLEWICK_DEVICE_EXPORT qint64 send(int socket, const char *data, qint64 length, int timeoutMs);

// Bytes received; fewer than length on time-out, error or the peer closing.
PARLEWICK_DEVICE_EXPORT qint64 receive(int socket, char *buffer, qint64 length, int timeoutMs);

// Appends up to length bytes to *buffer, which grows only as bytes arrive, so that a length
// announced by the peer costs memory only once the bytes are really there.
PARLEWICK_DEVICE_EXPORT qint64 receiveAppend(int socket, QByteArray *buffer, qint64 length, int timeoutMs);

}   // namespace ServiceSocket
