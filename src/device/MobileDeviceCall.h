#pragma once

#include "device/MobileDeviceFrameworks.h"

#include <stdexcept>
#include <string>

// The phone library is not linked: each of its functions is looked up by name where it is
// called, and typed from the library's own headers (on the include path for this alone).
//     MD_FUNCTION(lockdownd_client_new)(device, &client, label);
template <typename Function>
Function *resolveMDFunction(const char *name)
{
    if (!frameworksLoaded())
        throw std::runtime_error("Failed to load (Mobile Device) framework.");
    void *address = resolveMD(name);
    if (!address)
        throw std::runtime_error(std::string("The phone library has no function ") + name + ".");
    return reinterpret_cast<Function *>(address);
}

#define MD_FUNCTION(name) resolveMDFunction<decltype(name)>(#name)
