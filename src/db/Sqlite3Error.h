#pragma once

#include "app/AppError.h"
#include "db/Export.h"

#include <QString>

struct sqlite3;

// The error of a failed engine call. The common failures (a damaged file or one that
// is no database, a full disk, a file that cannot be opened or written, a database in use)
// are said in the program's words naming the file; the engine's own text and the statement go
// to the log only. Other failures keep the engine's message; the statement goes to the log,
// never into the message.
PARLEWICK_DB_EXPORT AppError sqliteError(sqlite3 *db, const QString &context = QString());
// The same for a failed open or script, where the engine's code and the file are given.
// systemError: the system's error number behind a failed write, when known.
PARLEWICK_DB_EXPORT AppError sqliteError(int code, const QString &message, const QString &file, const QString &context,
                                         int systemError = 0);
PARLEWICK_DB_EXPORT AppError sqliteError(const QString &message, const QString &context);
