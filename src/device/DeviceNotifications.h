#pragma once

#include "device/Export.h"

#include <functional>

class MobileDeviceHandle;
class QObject;

// Who hears about phones coming and going: two callbacks with the phone's handle, run on the
// receiver's thread; none runs once the receiver is gone. Must outlive the subscription
// (static storage).
struct PARLEWICK_DEVICE_EXPORT MobileDeviceSubscription
{
    using Callback = std::function<void(MobileDeviceHandle *device)>;
    QObject *receiver = nullptr;
    Callback connected;
    Callback disconnected;
};

// Subscribes to the phone library's device notifications for the rest of the process.
// Only phones plugged in by USB are reported: one connected call per arrival, one
// disconnected call per removal, both with the same handle. The notifications come on the
// library's own thread, so the callbacks run queued on the receiver's thread. Loads the phone
// library first if needed; raises AppError with the loader's text.
PARLEWICK_DEVICE_EXPORT void mobiledevice_subscribe(MobileDeviceSubscription *subscription);

// Ends the subscription; no notification is delivered once this returns. For tests and
// shutdown: the program itself never unsubscribes.
PARLEWICK_DEVICE_EXPORT void mobiledevice_unsubscribe();
