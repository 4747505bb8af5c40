#pragma once

#include "device/Export.h"
#include "device/ServiceSocket.h"
#include "plist/CFType.h"

// Property-list messages on a service socket: each is a 4-byte big-endian length followed by
// the property list. The program sends XML and accepts any format. Failures raise
// AppError with the texts the user sees.

// Sends nothing for a message that does not serialise.
PARLEWICK_DEVICE_EXPORT void mobiledevice_sendmsg(int socket, const CFType &message,
                                                  int timeoutMs = ServiceSocket::DefaultTimeoutMs);

// The answer: a null value for a length of 0 or a body that is no property list (callers
// check the keys they need). request (may be null) is quoted in the error texts. The length
// always gets 60 s; timeoutMs is for the body.
PARLEWICK_DEVICE_EXPORT CFType mobiledevice_recmsg(int socket, const CFType &request = CFType(),
                                                   int timeoutMs = ServiceSocket::DefaultTimeoutMs);

// Longest body accepted; no service message of the program comes near it.
inline constexpr quint32 MaxServiceMessageLength = 64u << 20;
