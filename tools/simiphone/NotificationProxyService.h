#pragma once

#include "simiphone/ServiceContext.h"

// com.apple.mobile.notification_proxy: the computer observes and posts notifications (the
// backup tool's syncWillStart, syncLockRequest, syncDidStart, syncDidFinish); every request is
// in the received log. What the phone posts (SimPhone::postNotification) is relayed as
// RelayNotification when observed. Shutdown is answered with ProxyDeath and ends the connection.
void serveNotificationProxy(ServiceContext &context);
