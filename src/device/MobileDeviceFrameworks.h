#pragma once

#include "device/Export.h"

#include <QString>

// The phone library (libimobiledevice) is loaded at run time, so that a machine without it
// gets a helpful message instead of a loader failure.
PARLEWICK_DEVICE_EXPORT bool loadMobileDeviceFrameworks(QString *error);
PARLEWICK_DEVICE_EXPORT bool frameworksLoaded();
// Loads the phone library unless it is loaded; raises AppError with the loader's text.
PARLEWICK_DEVICE_EXPORT void loadMobileDeviceFrameworksThrow();
PARLEWICK_DEVICE_EXPORT void *resolveMD(const char *name);   // exported function of the phone library, or null
