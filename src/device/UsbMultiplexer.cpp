#include "device/UsbMultiplexer.h"

#include "device/MobileDeviceCall.h"

#include <usbmuxd.h>

bool multiplexerReachable()
{
    loadMobileDeviceFrameworksThrow();
    usbmuxd_device_info_t *list = nullptr;
    if (MD_FUNCTION(usbmuxd_get_device_list)(&list) < 0)
        return false;
    MD_FUNCTION(usbmuxd_device_list_free)(&list);
    return true;
}

QString noMultiplexerText()
{
    return QStringLiteral("No iPhone can be reached: usbmuxd, the service through which Linux talks to iPhones, is not running. "
                          "Start it (sudo systemctl start usbmuxd; install the package usbmuxd first if it is missing), plug the "
                          "iPhone in with its USB cable, unlock it and answer \"Trust\" on it.");
}
