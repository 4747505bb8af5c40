#pragma once

#include "db/Export.h"

#include <QString>

#include <functional>
#include <memory>

class QTemporaryDir;
class Sqlite3DB;

// Opens the database file at path for reading without writing anything in its folder: neither
// the file nor SQLite's -journal, -wal and -shm files beside it. A file whose journal or
// write-ahead log holds data is read from a copy (SQLite finishes or undoes that data there) in
// a folder newCopyFolder makes (a private one: the copy holds the user's data); that folder is
// returned and must outlive the connection. Otherwise the file is opened in place as immutable
// and null is returned. Raises on failure.
using CopyFolderMaker = std::function<std::unique_ptr<QTemporaryDir>()>;
PARLEWICK_DB_EXPORT std::unique_ptr<QTemporaryDir> openReadOnlyThrow(Sqlite3DB &db, const QString &path,
                                                                     const CopyFolderMaker &newCopyFolder);
