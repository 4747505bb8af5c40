#include "device/MobileDeviceHandle.h"

#include "app/AppError.h"
#include "device/MobileDeviceCall.h"
#include "device/UsbMultiplexer.h"

#include <QDebug>
#include <QHash>
#include <QSet>

#include <libimobiledevice/libimobiledevice.h>

namespace {

struct Registry
{
    QMutex mutex;
    QHash<QString, MobileDeviceHandle *> handles;
};

Registry &registry()
{
    // Deliberately never destroyed: the library's notification thread may still look a
    // phone up while the process exits.
    static Registry *instance = new Registry;
    return *instance;
}

}   // namespace

MobileDeviceHandle::MobileDeviceHandle(const QString &udid)
    : m_udid(udid)
{
}

bool MobileDeviceHandle::isAttached() const
{
    QMutexLocker lock(&m_mutex);
    return m_attached;
}

MobileDeviceHandle::Link MobileDeviceHandle::link() const
{
    QMutexLocker lock(&m_mutex);
    if (!m_attached)
        return {};
    if (!m_link) {
        idevice_t device = nullptr;
        const int rc = MD_FUNCTION(idevice_new_with_options)(&device, m_udid.toUtf8().constData(), IDEVICE_LOOKUP_USBMUX);
        if (rc != IDEVICE_E_SUCCESS || !device) {
            qDebug() << "idevice_new" << m_udid << "failed:" << rc;
            return {};
        }
        auto release = MD_FUNCTION(idevice_free);
        m_link = Link(device, [release](idevice_private *d) { release(d); });
    }
    return m_link;
}

MobileDeviceHandle *MobileDeviceHandle::find(const QString &udid)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    return r.handles.value(udid);
}

MobileDeviceHandle *MobileDeviceHandle::attach(const QString &udid)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    MobileDeviceHandle *&handle = r.handles[udid];
    if (!handle)
        handle = new MobileDeviceHandle(udid);
    QMutexLocker handleLock(&handle->m_mutex);
    handle->m_attached = true;
    handle->m_link.reset();
    return handle;
}

MobileDeviceHandle *MobileDeviceHandle::detach(const QString &udid)
{
    MobileDeviceHandle *handle = find(udid);
    if (handle) {
        QMutexLocker lock(&handle->m_mutex);
        handle->m_attached = false;
        handle->m_link.reset();
    }
    return handle;
}

QList<MobileDeviceHandle *> MobileDeviceHandle::connectedDevices()
{
    loadMobileDeviceFrameworksThrow();
    idevice_info_t *list = nullptr;
    int count = 0;
    const int rc = MD_FUNCTION(idevice_get_device_list_extended)(&list, &count);
    if (rc != IDEVICE_E_SUCCESS) {
        // The library fails only when the multiplexer does not answer: no phone can be seen,
        // which the user has to hear rather than an empty list.
        qDebug() << "idevice_get_device_list_extended failed:" << rc;
        failWith(noMultiplexerText());
    }
    QSet<QString> seen;
    QList<MobileDeviceHandle *> result;
    for (int i = 0; i < count; ++i) {
        if (!list[i] || !list[i]->udid || list[i]->conn_type != CONNECTION_USBMUXD)
            continue;
        const QString udid = QString::fromUtf8(list[i]->udid);
        if (seen.contains(udid))
            continue;
        seen.insert(udid);
        MobileDeviceHandle *handle = find(udid);
        if (!handle || !handle->isAttached())
            handle = attach(udid);
        result.append(handle);
    }
    MD_FUNCTION(idevice_device_list_extended_free)(list);

    // Phones the multiplexer no longer lists are gone.
    Registry &r = registry();
    QList<QString> known;
    {
        QMutexLocker lock(&r.mutex);
        known = r.handles.keys();
    }
    for (const QString &udid : known) {
        if (!seen.contains(udid))
            detach(udid);
    }
    return result;
}
