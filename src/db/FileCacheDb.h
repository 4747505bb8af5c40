#pragma once

#include "db/Export.h"
#include "db/Sqlite3DB.h"

#include <QString>

// Remembers, per file copied from the phone, the modification time (seconds since 1970 UTC)
// the file had on the device, so an unchanged file is not copied again. All changes of one
// object stay in one transaction that is committed when the object is destroyed: a crash
// only loses the memory of recent copies, and those files are copied again.
// Used by one thread; not copyable.
class PARLEWICK_DB_EXPORT FileCacheDb
{
public:
    explicit FileCacheDb(const QString &path);
    ~FileCacheDb();
    FileCacheDb(const FileCacheDb &) = delete;
    FileCacheDb &operator=(const FileCacheDb &) = delete;

    // Opens the file, creating it with its table when missing, and begins the transaction.
    void ensureOpen();

    // 0 when the file is unknown or the cache cannot be read (the file is then copied).
    qint64 lastDate(const QString &devicePath);
    // Failures are ignored: at worst the file is copied again next time.
    void setLastDate(const QString &devicePath, qint64 date);
    void removeEntry(const QString &devicePath);

private:
    void createTableThrow();

    QString m_path;
    Sqlite3DB m_db;
};
