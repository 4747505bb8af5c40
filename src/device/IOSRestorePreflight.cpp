#include "device/IOSRestorePreflight.h"

#include "device/MobileDeviceSession.h"
#include "plist/CFType.h"

#include <QDebug>

#include <stdexcept>

QString IOSRestorePreflight::warning(MobileDeviceHandle *device) const
{
    CFType domain;
    try {
        domain = mobiledevice_copy_values(device, {QString()}, QStringLiteral("com.apple.mobile.backup")).value(0);
    } catch (const std::exception &error) {
        qDebug() << "IOSRestorePreflight: the phone's backup settings are unreadable:" << error.what();
        return QString();
    }
    return warningFor(domain);
}

QString IOSRestorePreflight::warningFor(const CFType &backupDomain) const
{
    if (!backupDomain.isDictionary() || backupDomain.count() == 0)
        return QString();
    if (backupDomain.value(QStringLiteral("CloudBackupEnabled")).toBool())
        return QStringLiteral("Failed to transfer data to device. Please turn off iCloud backup on your iPhone to try "
                              "again.");
    return QString();
}
