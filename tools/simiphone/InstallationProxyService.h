#pragma once

#include "simiphone/ServiceContext.h"

// com.apple.mobile.installation_proxy, as far as the backup tool uses it: Browse lists the
// installed apps (user apps, with a placeholder ApplicationSINF and iTunesMetadata), then
// Status "Complete". Other commands answer Error "UnknownCommand".
void serveInstallationProxy(ServiceContext &context);
