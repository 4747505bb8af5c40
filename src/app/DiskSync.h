#pragma once

#include "app/Export.h"

#include <QString>

// Asks the disk to keep what was written to the file, or the names made, changed or removed in
// the folder, before going on (fsync): what follows may rely on it after a power loss. Never
// follows a link. False when the path cannot be opened or the disk reports an error.
PARLEWICK_APP_EXPORT bool syncToDisk(const QString &path);
