#pragma once

#include "app/Export.h"

// Names the system time zone file in TZ when TZ is unset. Without it glibc re-reads
// /etc/localtime on every local-time conversion, which slows loading large sources several-fold.
PARLEWICK_APP_EXPORT void pinSystemTimeZone();
