#pragma once

#include <QString>

// The phone library (libimobiledevice) is loaded at run time, so that a machine without it
// gets a helpful message instead of a loader failure.
bool loadMobileDeviceFrameworks(QString *error);
bool frameworksLoaded();
// Loads the phone library unless it is loaded; raises AppError with the loader's text.
void loadMobileDeviceFrameworksThrow();
void *resolveMD(const char *name);   // exported function of the phone library, or null
