#pragma once

#include "device/Export.h"

#include <QString>

// The multiplexer daemon (usbmuxd) through which the phone library reaches every iPhone;
// USBMUXD_SOCKET_ADDRESS points the library at another one (the simulated iPhone).
// Without it no phone is ever seen, which is not the same as "no phone plugged in".

// True when the multiplexer answers. Loads the phone library if needed; raises
// AppError when it cannot be loaded.
PARLEWICK_DEVICE_EXPORT bool multiplexerReachable();

// What to do when it does not answer, in the program's words (plain text).
PARLEWICK_DEVICE_EXPORT QString noMultiplexerText();
