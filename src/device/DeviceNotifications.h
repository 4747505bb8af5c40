#pragma once

class QObject;

// Who hears about phones coming and going: slots of the receiver, called by name (plain
// names, no signature) with one void* argument, the phone's MobileDeviceHandle. Must outlive
// the subscription (static storage).
struct MobileDeviceSubscription
{
    QObject *receiver = nullptr;
    const char *connectedSlot = nullptr;      // e.g. "iosDeviceConnected"
    const char *disconnectedSlot = nullptr;   // e.g. "iosDeviceDisconnected"
};

// Subscribes to the phone library's device notifications for the rest of the process.
// Only phones plugged in by USB are reported: one connected call per arrival, one
// disconnected call per removal, both with the same handle. The notifications come on the
// library's own thread, so the slots run queued on the receiver's thread. Loads the phone
// library first if needed; raises AppError with the loader's text.
void mobiledevice_subscribe(MobileDeviceSubscription *subscription);

// Ends the subscription; no notification is delivered once this returns. For tests and
// shutdown: the program itself never unsubscribes.
void mobiledevice_unsubscribe();
