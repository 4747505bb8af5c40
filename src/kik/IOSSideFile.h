#pragma once

#include "kik/Export.h"

#include <QByteArray>
#include <QString>

// Writes one attachment side file whole or not at all (temporary file, then rename), creating
// its folder when missing. Raises "can not create %1. %2" when the file cannot be opened for
// writing and "write %1 error. %2" when it could not be written completely.
PARLEWICK_KIK_EXPORT void writeSideFileThrow(const QString &path, const QByteArray &data);

// True when path names a file with at least one byte.
PARLEWICK_KIK_EXPORT bool isNonEmptyFile(const QString &path);
