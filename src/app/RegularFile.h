#pragma once

#include "app/Export.h"

#include <QByteArray>
#include <QString>

class QFile;

// Files of a phone, a backup or another program are opened for reading only when they are
// regular files, and without waiting: a FIFO planted under a file's name would block an open or
// a read for ever, and a device never ends.

// Opens path read-only into file (which must not be open). Raises AppError in the
// program's words naming the file when it is missing, no regular file or cannot be opened.
PARLEWICK_APP_EXPORT void openRegularFileThrow(QFile &file, const QString &path);

// The whole content of such a file of at most maxBytes; raises as openRegularFileThrow does,
// and when it is larger or cannot be read. With `missing` given, a file that is not there gives
// null bytes and *missing set instead.
PARLEWICK_APP_EXPORT QByteArray readRegularFileThrow(const QString &path, qint64 maxBytes, bool *missing = nullptr);
