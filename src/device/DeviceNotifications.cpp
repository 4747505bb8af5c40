#include "device/DeviceNotifications.h"

#include "device/MobileDeviceCall.h"
#include "device/MobileDeviceHandle.h"

#include <QDebug>
#include <QMetaObject>
#include <QMutex>
#include <QObject>
#include <QSet>

#include <libimobiledevice/libimobiledevice.h>

namespace {

// The phones the receiver was told about, so that it hears of each removal once.
struct Announced
{
    QMutex mutex;
    QSet<MobileDeviceHandle *> handles;
};

Announced &announced()
{
    static Announced *instance = new Announced;   // the notification thread may outlive statics
    return *instance;
}

void deliver(const MobileDeviceSubscription *subscription, const MobileDeviceSubscription::Callback &callback,
             MobileDeviceHandle *handle)
{
    if (!subscription->receiver || !callback)
        return;
    QMetaObject::invokeMethod(
        subscription->receiver, [callback, handle] { callback(handle); }, Qt::AutoConnection);
}

void onDeviceEvent(const idevice_event_t *event, void *context)
{
    // Phones reached only over the network are not the program's business.
    if (!event || !event->udid || !context || event->conn_type != CONNECTION_USBMUXD)
        return;
    const auto *subscription = static_cast<const MobileDeviceSubscription *>(context);
    const QString udid = QString::fromUtf8(event->udid);
    Announced &known = announced();

    if (event->event == IDEVICE_DEVICE_ADD) {
        MobileDeviceHandle *handle = MobileDeviceHandle::find(udid);
        {
            QMutexLocker lock(&known.mutex);
            if (handle && known.handles.contains(handle))
                return;
            handle = MobileDeviceHandle::attach(udid);
            known.handles.insert(handle);
        }
        qDebug() << "iPhone connected:" << udid;
        deliver(subscription, subscription->connected, handle);
    } else if (event->event == IDEVICE_DEVICE_REMOVE) {
        MobileDeviceHandle *handle = MobileDeviceHandle::find(udid);
        {
            QMutexLocker lock(&known.mutex);
            if (!handle || !known.handles.remove(handle))
                return;
            MobileDeviceHandle::detach(udid);
        }
        qDebug() << "iPhone disconnected:" << udid;
        deliver(subscription, subscription->disconnected, handle);
    }
}

}   // namespace

void mobiledevice_subscribe(MobileDeviceSubscription *subscription)
{
    loadMobileDeviceFrameworksThrow();
    const int rc = MD_FUNCTION(idevice_event_subscribe)(onDeviceEvent, subscription);
    if (rc != IDEVICE_E_SUCCESS)
        qDebug() << "idevice_event_subscribe failed:" << rc;
}

void mobiledevice_unsubscribe()
{
    if (!frameworksLoaded())
        return;
    MD_FUNCTION(idevice_event_unsubscribe)();
    Announced &known = announced();
    QMutexLocker lock(&known.mutex);
    known.handles.clear();
}
