#pragma once

#include "device/Export.h"

#include <QMetaType>
#include <QString>

class MobileDeviceHandle;

// What the program knows of a connected phone, read when it is plugged in and kept by its
// node in the tree. A remembered (virtual) device has no handle.
struct PARLEWICK_DEVICE_EXPORT DeviceDescription
{
    QString deviceName;
    QString udid;
    QString mobileSubscriberCountryCode;
    QString productVersion;
    QString productType;
    MobileDeviceHandle *handle = nullptr;   // not owned
};

Q_DECLARE_METATYPE(DeviceDescription)

// Asks the plugged-in phone for its name, UDID, versions and country code; raises
// AppError when it does not answer. The UDID falls back to the multiplexer's.
PARLEWICK_DEVICE_EXPORT DeviceDescription describeDeviceThrow(MobileDeviceHandle *device);
