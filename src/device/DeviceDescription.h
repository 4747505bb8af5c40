#pragma once

#include <QMetaType>
#include <QString>

// What the program knows of a connected phone, read when it is plugged in and kept by its
// node in the tree. A remembered (virtual) device has no handle.
struct DeviceDescription
{
    QString deviceName;
    QString udid;
    QString mobileSubscriberCountryCode;
    QString productVersion;
    QString productType;
    void *handle = nullptr;   // the phone library's device handle; not owned
};

Q_DECLARE_METATYPE(DeviceDescription)

class MobileDeviceHandle;

// Asks the plugged-in phone for its name, UDID, versions and country code; raises
// std::runtime_error when it does not answer. The UDID falls back to the multiplexer's.
DeviceDescription describeDeviceThrow(MobileDeviceHandle *device);
