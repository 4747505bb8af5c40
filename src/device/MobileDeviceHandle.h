#pragma once

#include "device/Export.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <memory>

struct idevice_private;

// One iPhone as the program knows it: its UDID and, while it is plugged in, the phone
// library's device for it. This is the opaque "device handle" the notifications hand to the
// main window (as void*) and every device operation takes.
//
// Handles are never deleted: a queued notification or a running worker may still hold one
// after the phone is gone, and the same phone plugged in again gets the same handle back.
// The phone library's device is shared: an operation takes link() once and keeps the device
// alive while it uses it, even when the phone is unplugged meanwhile.
class PARLEWICK_DEVICE_EXPORT MobileDeviceHandle
{
public:
    using Link = std::shared_ptr<idevice_private>;

    QString udid() const { return m_udid; }
    bool isAttached() const;
    // The phone library's device, made on first use after arrival; empty while unplugged or
    // when the multiplexer does not know the phone (any more).
    Link link() const;

    static MobileDeviceHandle *find(const QString &udid);   // null for a phone never seen
    // The phone arrived: its handle (made on first arrival) with a fresh link, since a phone
    // plugged in again has a new device number on the multiplexer.
    static MobileDeviceHandle *attach(const QString &udid);
    // The phone left: drops its link. Returns the handle, null for a phone never seen.
    static MobileDeviceHandle *detach(const QString &udid);
    // The phones plugged in by USB now, as the multiplexer lists them (phones on the network
    // only are left out). Loads the phone library if needed; raises AppError, with
    // noMultiplexerText() when the multiplexer does not answer.
    static QList<MobileDeviceHandle *> connectedDevices();

private:
    explicit MobileDeviceHandle(const QString &udid);

    const QString m_udid;
    mutable QMutex m_mutex;
    bool m_attached = false;
    mutable Link m_link;
};
