#pragma once

#include "app/Export.h"

#include <QString>

// Takes the paths of the user's files out of a text that leaves the computer (an error
// report): every absolute path, quoted path and path under the home or temporary folder becomes
// "<path>". Web addresses stay. Errs on the side of removing too much.
PARLEWICK_APP_EXPORT QString scrubPaths(const QString &text);
