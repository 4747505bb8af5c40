#pragma once

#include "device/Export.h"
#include "device/MobileDeviceHandle.h"

#include <QString>

// Starts a service of the phone ("com.apple.afc", "com.apple.mobile.house_arrest", ...) in a
// session of its own and returns the socket to talk to it, which outlives the session. The
// caller owns the socket and closes it with mobiledevice_closesocket. Raises
// AppError with the session's text or the service's. withEscrowBag hands the phone the
// pair record's escrow bag (the backup service wants it).
PARLEWICK_DEVICE_EXPORT int mobiledevice_start_service(MobileDeviceHandle *device, const QString &name,
                                                       bool withEscrowBag = false);

// Closes a socket of mobiledevice_start_service and the phone library's connection behind
// it. Sockets it did not hand out are left alone.
PARLEWICK_DEVICE_EXPORT void mobiledevice_closesocket(int socket);
