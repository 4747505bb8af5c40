#pragma once

#include "db/Export.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <memory>

struct sqlite3;
class Sqlite3Statement;
class Sqlite3WorkLimit;

// A statement lent for one run; handing it back resets it for the next.
using Sqlite3Lease = std::unique_ptr<Sqlite3Statement, void (*)(Sqlite3Statement *)>;

// Prepared statements of one connection, one per SQL text, the least recently used
// dropped beyond the capacity. A statement is lent out for one run; when the cached one
// is still lent (a cursor is open on it), a fresh one is prepared for the new run.
// Destroying the cache finalizes everything; statements still lent become detached.
class PARLEWICK_DB_EXPORT Sqlite3StatementCache
{
public:
    explicit Sqlite3StatementCache(sqlite3 *db, int capacity = 64);
    ~Sqlite3StatementCache();
    Sqlite3StatementCache(const Sqlite3StatementCache &) = delete;
    Sqlite3StatementCache &operator=(const Sqlite3StatementCache &) = delete;

    // A statement ready for binding; raises with the engine's message when it cannot be
    // prepared, is empty, or holds more than one statement.
    Sqlite3Lease acquireThrow(const QByteArray &sql);
    // A statement of the caller's own, outside the cache, for one who keeps it across many
    // runs; it is still finalized (detached) when the cache goes.
    Sqlite3Lease acquireOwnThrow(const QByteArray &sql);

    qint64 preparedCount() const { return m_prepared; }
    // Each run of a statement starts the limit's count anew (null: no limit).
    void setWorkLimit(Sqlite3WorkLimit *limit) { m_workLimit = limit; }

private:
    friend class Sqlite3Statement;

    struct Entry
    {
        Sqlite3Statement *statement = nullptr;
        quint64 lastUse = 0;
    };

    void giveBack(Sqlite3Statement *statement);
    Sqlite3Statement *prepareThrow(const QByteArray &sql, bool cached);
    void evictOldest();
    void discard(Sqlite3Statement *statement);

    sqlite3 *m_db;
    int m_capacity;
    quint64 m_clock = 0;
    qint64 m_prepared = 0;
    QHash<QByteArray, Entry> m_entries;
    QSet<Sqlite3Statement *> m_all;   // cached and extra ones, so closing reaches every one
    Sqlite3WorkLimit *m_workLimit = nullptr;
};
