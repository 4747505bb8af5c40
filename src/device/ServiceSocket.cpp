#include "device/ServiceSocket.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace ServiceSocket {

namespace {

constexpr qint64 kGrowStep = 1 << 20;

bool retryable(int error)
{
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK;
}

}   // namespace

WaitResult wait(int socket, bool forWriting, int timeoutMs)
{
    // poll, not select: descriptors above FD_SETSIZE are legal here.
    pollfd entry{socket, short(forWriting ? POLLOUT : POLLIN), 0};
    int rc;
    do {
        rc = ::poll(&entry, 1, timeoutMs >= 0 ? timeoutMs : -1);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0)
        return TimedOut;
    return rc > 0 ? Ready : Failed;
}

qint64 send(int socket, const char *data, qint64 length, int timeoutMs)
{
    qint64 sent = 0;
    while (sent < length) {
        const WaitResult ready = wait(socket, true, timeoutMs);
        if (ready == TimedOut)
            break;
        // MSG_NOSIGNAL: a phone that hung up must give an error, not end the program.
        const ssize_t n = ::send(socket, data + sent, size_t(length - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
        } else if (n < 0 && ready == Ready && retryable(errno)) {
            continue;
        } else {
            break;
        }
    }
    return sent;
}

qint64 receive(int socket, char *buffer, qint64 length, int timeoutMs)
{
    qint64 received = 0;
    while (received < length) {
        const WaitResult ready = wait(socket, false, timeoutMs);
        if (ready == TimedOut)
            break;
        const ssize_t n = ::recv(socket, buffer + received, size_t(length - received), 0);
        if (n > 0) {
            received += n;
        } else if (n < 0 && ready == Ready && retryable(errno)) {
            continue;
        } else {
            break;   // error, or the peer closed
        }
    }
    return received;
}

qint64 receiveAppend(int socket, QByteArray *buffer, qint64 length, int timeoutMs)
{
    qint64 received = 0;
    while (received < length) {
        const qint64 step = std::min(length - received, kGrowStep);
        const qsizetype start = buffer->size();
        buffer->resize(start + step);
        const qint64 n = receive(socket, buffer->data() + start, step, timeoutMs);
        buffer->resize(start + n);
        received += n;
        if (n < step)
            break;
    }
    return received;
}

}   // namespace ServiceSocket
