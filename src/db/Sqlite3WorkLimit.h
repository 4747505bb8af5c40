#pragma once

#include "db/Export.h"

#include <QtGlobal>

struct sqlite3;

// A bound on the work of each run of a statement on one connection, for databases from outside
// (a phone, a backup): a view that recurses for ever or a join made to explode would otherwise
// hold the program at full speed without end. A run beyond the bound is interrupted, and the
// engine reports SQLITE_INTERRUPT (sqliteError names the file as damaged).
class PARLEWICK_DB_EXPORT Sqlite3WorkLimit
{
public:
    // instructions: of SQLite's virtual machine, per run.
    Sqlite3WorkLimit(sqlite3 *db, qint64 instructions);
    ~Sqlite3WorkLimit();
    Sqlite3WorkLimit(const Sqlite3WorkLimit &) = delete;
    Sqlite3WorkLimit &operator=(const Sqlite3WorkLimit &) = delete;

    // A new run begins: its work counts from nothing.
    void restart() { m_ticks = 0; }

    // The bound for a database file of that size: far above what reading any real file of the
    // size needs (a scan, a sort, joins through indexes), and never below a floor for small files.
    static qint64 forDatabaseBytes(qint64 bytes);

private:
    static int tick(void *self);

    sqlite3 *m_db;
    qint64 m_ticks = 0;
    qint64 m_maxTicks;
};
