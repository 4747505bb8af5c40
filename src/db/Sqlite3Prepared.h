#pragma once

#include "db/Export.h"
#include "db/Sqlite3StatementCache.h"

#include <QByteArray>

class Sqlite3DB;
class Sqlite3Statement;

// One statement its holder keeps and runs many times, bound by position: no look-up by text
// and no variants per run. It is prepared on first use, and again when the connection has
// been closed and opened since. The connection must outlive the holder.
class PARLEWICK_DB_EXPORT Sqlite3Prepared
{
public:
    Sqlite3Prepared(Sqlite3DB &db, const QByteArray &sql);
    Sqlite3Prepared(const Sqlite3Prepared &) = delete;
    Sqlite3Prepared &operator=(const Sqlite3Prepared &) = delete;

    // The statement, reset and without bindings, ready for a new run.
    Sqlite3Statement &startThrow();
    // After binding what startThrow gave: runs it to the end.
    void runThrow();
    // After binding what startThrow gave: the first column of the first row, 0 when there is none; the statement is reset after.
    qint64 int64Throw();

private:
    Sqlite3DB &m_db;
    QByteArray m_sql;
    Sqlite3Lease m_statement;
};
