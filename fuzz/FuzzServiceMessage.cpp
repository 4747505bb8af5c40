// Property-list messages of the phone's services (lockdown, notification proxy, house arrest,
// mobilebackup2's DeviceLink): a 4-byte big-endian length, then the list. Answers are read
// until the stream ends; the backup domain's values go through the restore's preflight.
#include "FuzzInput.h"

#include "device/IOSRestorePreflight.h"
#include "device/ServiceMessage.h"
#include "plist/CFType.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const FuzzPeer phone(data, size);
    const IOSRestorePreflight preflight;
    try {
        for (int answer = 0; answer < 16; ++answer) {
            const CFType message = mobiledevice_recmsg(phone.socket(), CFType(), 1000);
            preflight.warningFor(message);
            message.value(QStringLiteral("Error")).toQString();
            message.value(QStringLiteral("Status")).toQString();
            const CFType deviceLink = message.at(0);
            deviceLink.toQString();
            message.at(1).toDisplayString();
        }
    } catch (const std::runtime_error &) {
    }
    return 0;
}
