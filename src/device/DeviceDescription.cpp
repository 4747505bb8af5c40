#include "device/DeviceDescription.h"

#include "device/MobileDeviceHandle.h"
#include "device/MobileDeviceSession.h"
#include "plist/CFType.h"

DeviceDescription describeDeviceThrow(MobileDeviceHandle *device)
{
    DeviceDescription description;
    description.handle = device;
    const QList<CFType> values = mobiledevice_copy_values(
        device, {QStringLiteral("UniqueDeviceID"), QStringLiteral("DeviceName"), QStringLiteral("MobileSubscriberCountryCode"),
                 QStringLiteral("ProductVersion"), QStringLiteral("ProductType")});
    description.udid = values.value(0).toQString();
    description.deviceName = values.value(1).toQString();
    description.mobileSubscriberCountryCode = values.value(2).toQString();
    description.productVersion = values.value(3).toQString();
    description.productType = values.value(4).toQString();
    if (description.udid.isEmpty())
        description.udid = device->udid();
    return description;
}
