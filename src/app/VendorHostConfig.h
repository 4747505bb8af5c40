#pragma once

#include "app/Export.h"

// The vendor host this build was configured with (host or host:port, empty for none), defined
// in a source file CMake writes from the cache variable PARLEWICK_VENDOR_HOST.
extern PARLEWICK_APP_EXPORT const char BuildVendorHost[];
