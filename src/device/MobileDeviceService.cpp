#include "device/MobileDeviceService.h"

#include "app/AppError.h"
#include "device/LockdownSession.h"
#include "device/MobileDeviceCall.h"
#include "device/MobileDeviceSession.h"

#include <QDebug>
#include <QHash>
#include <QMutex>

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>

namespace {

// The phone library's connection behind a service socket, and the device it runs on.
struct ServiceConnection
{
    idevice_connection_t connection = nullptr;
    MobileDeviceHandle::Link link;
};

struct OpenServices
{
    QMutex mutex;
    QHash<int, ServiceConnection> connections;
};

OpenServices &openServices()
{
    static OpenServices instance;
    return instance;
}

QString startFailure(MobileDeviceHandle *device, const QString &name, int code)
{
    return QStringLiteral("\n\ndevice:%1 \n\n").arg(mobiledevice_device_description(device))
           + QStringLiteral("Please turn off Wifi Sync on iTunes or disconnect computer internet connections to try again.\n")
           + QStringLiteral("Error code: AMDeviceStartService(%1)=%2").arg(name).arg(code);
}

}   // namespace

int mobiledevice_start_service(MobileDeviceHandle *device, const QString &name, bool withEscrowBag)
{
    std::optional<LockdownSession> own;
    LockdownSession &session = SharedLockdownSession::currentOrOpen(device, own);

    lockdownd_service_descriptor_t service = nullptr;
    const QByteArray serviceName = name.toUtf8();
    // The backup service wants the pair record's escrow bag, so that it works on a locked phone.
    int code = withEscrowBag
                   ? MD_FUNCTION(lockdownd_start_service_with_escrow_bag)(session.client(), serviceName.constData(), &service)
                   : MD_FUNCTION(lockdownd_start_service)(session.client(), serviceName.constData(), &service);
    idevice_connection_t connection = nullptr;
    if (code == LOCKDOWN_E_SUCCESS) {
        if (!service || service->port == 0)
            code = LOCKDOWN_E_INVALID_RESPONSE;
        else if (service->ssl_enabled)
            code = LOCKDOWN_E_SSL_ERROR;   // the program speaks plain on the socket
        else
            code = MD_FUNCTION(idevice_connect)(session.link().get(), service->port, &connection);
    }
    if (service)
        MD_FUNCTION(lockdownd_service_descriptor_free)(service);
    const MobileDeviceHandle::Link link = session.link();
    if (own)
        own->close();

    int socket = -1;
    if (code == 0 && MD_FUNCTION(idevice_connection_get_fd)(connection, &socket) != IDEVICE_E_SUCCESS) {
        MD_FUNCTION(idevice_disconnect)(connection);
        code = IDEVICE_E_UNKNOWN_ERROR;
    }
    if (code != 0) {
        const QString text = startFailure(device, name, code);
        qDebug().noquote() << "mobiledevice_start_service" << text;
        failWith(text);
    }

    OpenServices &open = openServices();
    QMutexLocker lock(&open.mutex);
    open.connections.insert(socket, ServiceConnection{connection, link});
    return socket;
}

void mobiledevice_closesocket(int socket)
{
    ServiceConnection service;
    {
        OpenServices &open = openServices();
        QMutexLocker lock(&open.mutex);
        service = open.connections.take(socket);
    }
    if (service.connection)
        MD_FUNCTION(idevice_disconnect)(service.connection);
}
