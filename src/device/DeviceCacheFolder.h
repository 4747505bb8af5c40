#pragma once

#include "device/Export.h"

#include <QString>

struct DeviceDescription;

// Where the files taken from a phone are kept: the data folder's "ios_cache" joined with the
// UDID (made safe as a file name). A remembered device is named by its own folder, which is
// then its cache. Not created here.
PARLEWICK_DEVICE_EXPORT QString deviceCacheFolder(const DeviceDescription &device);
