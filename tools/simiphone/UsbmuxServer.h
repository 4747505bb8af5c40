#pragma once

#include "simiphone/PhoneRegistry.h"
#include "simiphone/SimServiceTable.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

// The stand-in for the multiplexer daemon: listens where USBMUXD_SOCKET_ADDRESS will point,
// serves every client connection on a thread of its own, and watches the phones folder so that
// phones come and go while it runs.
class UsbmuxServer
{
public:
    UsbmuxServer(const QString &phonesDir, const SimServiceTable &services);
    ~UsbmuxServer();
    UsbmuxServer(const UsbmuxServer &) = delete;
    UsbmuxServer &operator=(const UsbmuxServer &) = delete;

    // Listens on "HOST:PORT" (port 0: any free port) or "UNIX:/path" and returns the address
    // clients use, with the real port. Throws std::runtime_error.
    QString start(const QString &listenAddress);
    void stop();

    PhoneRegistry &registry() { return m_registry; }
    SimServiceTable &services() { return m_services; }
    QString systemBuid() const { return m_systemBuid; }
    int nextConnectionId() { return ++m_connectionIds; }

private:
    struct Connection
    {
        std::thread thread;
        int fd;
        std::shared_ptr<std::atomic<bool>> done;
    };

    int listenOn(const QString &listenAddress, QString *address);
    void acceptLoop();
    void watchLoop();
    void reapFinished();

    PhoneRegistry m_registry;
    SimServiceTable m_services;
    const QString m_systemBuid;
    std::atomic<int> m_connectionIds{0};
    int m_listenFd = -1;
    QString m_unixPath;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptThread;
    std::thread m_watchThread;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    std::mutex m_connectionsMutex;
    std::list<Connection> m_connections;
};
