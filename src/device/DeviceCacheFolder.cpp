#include "device/DeviceCacheFolder.h"

#include "app/AppFolders.h"
#include "app/FileUtils.h"
#include "device/DeviceDescription.h"

#include <QDir>

QString deviceCacheFolder(const DeviceDescription &device)
{
    if (!device.handle && QDir::isAbsolutePath(device.udid))
        return QDir::cleanPath(device.udid);
    return QDir(iosCacheFolder()).filePath(sanitizeFileName(device.udid));
}
