#pragma once

#include "ui/Export.h"

class CommandHost;

// The sources the program keeps between runs, listed at start: the local databases (read when
// first selected) and the phones remembered from earlier device backups (read at once).
PARLEWICK_UI_EXPORT void addStoredSources(CommandHost &host);
