#pragma once

#include "device/Export.h"

#include <QString>
#include <QStringList>

class MobileDeviceHandle;

// The phone's notification proxy ("com.apple.mobile.notification_proxy"): the computer posts
// notifications to the phone and observes the phone's own. Raises AppError with the
// service's text when it cannot be started; later failures are logged and ignored, since
// notifications only accompany the work.
class PARLEWICK_DEVICE_EXPORT NotificationProxy
{
public:
    explicit NotificationProxy(MobileDeviceHandle *device);
    ~NotificationProxy();
    NotificationProxy(const NotificationProxy &) = delete;
    NotificationProxy &operator=(const NotificationProxy &) = delete;

    void post(const QString &name);
    void observe(const QStringList &names);
    // The notifications the phone relayed since the last call, without waiting.
    QStringList takeRelayed();

private:
    void send(const char *command, const QString &name);

    int m_socket = -1;
    bool m_broken = false;
};
