#include "simiphone/UsbmuxServer.h"

#include "simiphone/UsbmuxConnection.h"

#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr auto kWatchInterval = std::chrono::milliseconds(200);
}

UsbmuxServer::UsbmuxServer(const QString &phonesDir, const SimServiceTable &services)
    : m_registry(phonesDir)
    , m_services(services)
    , m_systemBuid(SimPhoneFolder::systemBuid(phonesDir))
{
}

UsbmuxServer::~UsbmuxServer()
{
    stop();
}

QString UsbmuxServer::start(const QString &listenAddress)
{
    if (m_listenFd >= 0)
        throw std::runtime_error("already listening");
    QString address;
    m_listenFd = listenOn(listenAddress, &address);
    m_stopping = false;
    m_registry.rescan();
    m_acceptThread = std::thread([this] { acceptLoop(); });
    m_watchThread = std::thread([this] { watchLoop(); });
    return address;
}

int UsbmuxServer::listenOn(const QString &listenAddress, QString *address)
{
    int fd = -1;
    if (listenAddress.startsWith(QLatin1String("UNIX:"))) {
        const QByteArray path = QFile::encodeName(listenAddress.mid(5));
        sockaddr_un where{};
        if (path.isEmpty() || size_t(path.size()) >= sizeof where.sun_path)
            throw std::runtime_error("unusable socket path");
        struct stat info;
        if (::lstat(path.constData(), &info) == 0 && S_ISSOCK(info.st_mode))
            ::unlink(path.constData());
        where.sun_family = AF_UNIX;
        memcpy(where.sun_path, path.constData(), size_t(path.size()));
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&where), sizeof where) != 0) {
            const std::string reason = strerror(errno);
            ::close(fd);
            throw std::runtime_error(std::string("cannot bind ") + path.constData() + ": " + reason);
        }
        m_unixPath = QString::fromLocal8Bit(path);
        *address = QStringLiteral("UNIX:") + m_unixPath;
    } else {
        const qsizetype colon = listenAddress.lastIndexOf(QLatin1Char(':'));
        QString host = listenAddress.left(colon);
        bool portOk = false;
        const uint port = listenAddress.mid(colon + 1).toUInt(&portOk);
        if (host == QLatin1String("localhost"))
            host = QStringLiteral("127.0.0.1");
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(quint16(port));
        if (colon < 0 || !portOk || port > 65535 || ::inet_pton(AF_INET, host.toLatin1().constData(), &where.sin_addr) != 1)
            throw std::runtime_error(("not a listening address: " + listenAddress).toStdString());
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0
            || ::bind(fd, reinterpret_cast<sockaddr *>(&where), sizeof where) != 0) {
            const std::string reason = strerror(errno);
            ::close(fd);
            throw std::runtime_error(("cannot bind " + listenAddress + ": ").toStdString() + reason);
        }
        socklen_t length = sizeof where;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&where), &length);
        *address = host + QLatin1Char(':') + QString::number(ntohs(where.sin_port));
    }
    if (::listen(fd, 64) != 0) {
        ::close(fd);
        throw std::runtime_error(std::string("listen failed: ") + strerror(errno));
    }
    return fd;
}

void UsbmuxServer::stop()
{
    if (m_listenFd < 0)
        return;
    m_stopping = true;
    ::shutdown(m_listenFd, SHUT_RDWR);
    m_wake.notify_all();
    m_acceptThread.join();
    m_watchThread.join();
    ::close(m_listenFd);
    m_listenFd = -1;
    if (!m_unixPath.isEmpty())
        ::unlink(QFile::encodeName(m_unixPath).constData());
    m_registry.detachAll();
    std::lock_guard<std::mutex> lock(m_connectionsMutex);
    for (Connection &connection : m_connections)
        ::shutdown(connection.fd, SHUT_RDWR);
    for (Connection &connection : m_connections) {
        connection.thread.join();
        ::close(connection.fd);
    }
    m_connections.clear();
}

void UsbmuxServer::acceptLoop()
{
    while (!m_stopping) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        // Small request/answer exchanges: waiting to fill segments only adds latency.
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::lock_guard<std::mutex> lock(m_connectionsMutex);
        m_connections.push_back({std::thread([this, fd, done] {
                                     UsbmuxConnection(fd, *this).run();
                                     // The peer sees the end now; the fd is closed once the thread is joined.
                                     ::shutdown(fd, SHUT_RDWR);
                                     *done = true;
                                 }),
                                 fd, done});
    }
}

void UsbmuxServer::watchLoop()
{
    std::unique_lock<std::mutex> lock(m_wakeMutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, kWatchInterval);
        if (m_stopping)
            break;
        m_registry.rescan();
        reapFinished();
    }
}

void UsbmuxServer::reapFinished()
{
    std::lock_guard<std::mutex> lock(m_connectionsMutex);
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        if (!*it->done) {
            ++it;
            continue;
        }
        it->thread.join();
        ::close(it->fd);
        it = m_connections.erase(it);
    }
}
