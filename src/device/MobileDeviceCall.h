#pragma once

#include "app/AppError.h"
#include "device/MobileDeviceFrameworks.h"

#include <string>

// The phone library is not linked: each of its functions is looked up by name where it is
// called, and typed from the library's own headers (on the include path for this alone).
//     MD_FUNCTION(lockdownd_client_new)(device, &client, label);
template <typename Function>
Function *resolveMDFunction(const char *name)
{
    if (!frameworksLoaded())
        failWith(QStringLiteral("Failed to load (Mobile Device) framework."));
    void *address = resolveMD(name);
    if (!address)
        failWith(QStringLiteral("The phone library has no function %1.").arg(QLatin1String(name)));
    return reinterpret_cast<Function *>(address);
}

#define MD_FUNCTION(name) resolveMDFunction<decltype(name)>(#name)
