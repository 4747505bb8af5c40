#pragma once

#include "device/Export.h"
#include "device/MobileDeviceHandle.h"
#include "plist/CFType.h"

#include <QList>
#include <QString>
#include <QStringList>

// Sessions with a phone and the lockdown values it answers. No session is kept across
// operations: each one connects, works and disconnects.

// Opens a lockdown session on the device (connect, pair if not paired yet, validate the
// pairing, start the session). Returns 0, or the failing step's code with the user's text in
// *error. One such session per device at a time; mobiledevice_disconnect ends it.
PARLEWICK_DEVICE_EXPORT int mobiledevice_connect(MobileDeviceHandle *device, QString *error);
PARLEWICK_DEVICE_EXPORT void mobiledevice_disconnect(MobileDeviceHandle *device);

// The values of keys in one session, parallel to keys (a null value where the phone has
// none). An empty domain means none; an empty key asks for the whole domain as one
// dictionary. A session that cannot be opened raises its text.
PARLEWICK_DEVICE_EXPORT QList<CFType> mobiledevice_copy_values(MobileDeviceHandle *device, const QStringList &keys,
                                                               const QString &domain = QString());

// "name, product type, iOS version", as shown in service errors; empty when unreadable.
PARLEWICK_DEVICE_EXPORT QString mobiledevice_device_description(MobileDeviceHandle *device);
