#pragma once

#include "workers/Export.h"

#include <QString>

// Copies the plain files of one folder into another (the bubble style sheet and pictures beside
// an HTML export). Files already in the target are kept; a file that cannot be copied is left
// out, never left half written.
PARLEWICK_WORKERS_EXPORT void copyPlainFiles(const QString &from, const QString &to);
