#include "db/Sqlite3StatementCache.h"

#include "db/Sqlite3Error.h"
#include "db/Sqlite3Statement.h"

#include <sqlite3.h>

namespace {

bool onlyBlanks(const char *text, const char *end)
{
    for (; text < end; ++text) {
        if (*text != ';' && *text != ' ' && *text != '\t' && *text != '\r' && *text != '\n')
            return false;
    }
    return true;
}

}

Sqlite3StatementCache::Sqlite3StatementCache(sqlite3 *db, int capacity)
    : m_db(db)
    , m_capacity(qMax(1, capacity))
{
}

Sqlite3StatementCache::~Sqlite3StatementCache()
{
    for (Sqlite3Statement *statement : std::as_const(m_all)) {
        if (statement->m_leased)
            statement->detach();   // its lease deletes it
        else
            delete statement;
    }
}

Sqlite3Lease Sqlite3StatementCache::acquireThrow(const QByteArray &sql)
{
    Sqlite3Statement *statement = nullptr;
    auto found = m_entries.find(sql);
    if (found != m_entries.end() && !found->statement->m_leased) {
        statement = found->statement;
        found->lastUse = ++m_clock;
    } else if (found != m_entries.end()) {
        statement = prepareThrow(sql, false);
    } else {
        statement = prepareThrow(sql, true);
        if (m_entries.size() >= m_capacity)
            evictOldest();
        m_entries.insert(sql, Entry{statement, ++m_clock});
    }
    statement->startRun();
    return Sqlite3Lease(statement, &Sqlite3Statement::endLease);
}

Sqlite3Lease Sqlite3StatementCache::acquireOwnThrow(const QByteArray &sql)
{
    Sqlite3Statement *statement = prepareThrow(sql, false);
    statement->startRun();
    return Sqlite3Lease(statement, &Sqlite3Statement::endLease);
}

Sqlite3Statement *Sqlite3StatementCache::prepareThrow(const QByteArray &sql, bool cached)
{
    sqlite3_stmt *stmt = nullptr;
    const char *tail = nullptr;
    const char *end = sql.constData() + sql.size();
    if (sqlite3_prepare_v3(m_db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt, &tail) != SQLITE_OK)
        throw sqliteError(m_db, QString::fromUtf8(sql));
    if (!stmt)
        throw sqliteError(QStringLiteral("The SQL text holds no statement."), QString::fromUtf8(sql));
    if (tail && !onlyBlanks(tail, end)) {
        // Running only the first of several statements would silently skip the rest.
        sqlite3_stmt *next = nullptr;
        const int rc = sqlite3_prepare_v2(m_db, tail, int(end - tail), &next, nullptr);
        sqlite3_finalize(next);
        if (rc != SQLITE_OK || next) {
            sqlite3_finalize(stmt);
            throw sqliteError(rc != SQLITE_OK ? QString::fromUtf8(sqlite3_errmsg(m_db))
                                              : QStringLiteral("Only one SQL statement can run here."),
                              QString::fromUtf8(sql));
        }
    }
    ++m_prepared;
    auto *statement = new Sqlite3Statement(stmt, sql, this, cached);
    m_all.insert(statement);
    return statement;
}

void Sqlite3StatementCache::giveBack(Sqlite3Statement *statement)
{
    statement->finishRun();
    if (statement->m_cached)
        return;
    // A caller that keeps one cursor while opening the next on the same SQL would
    // otherwise prepare a new statement every other time: keep the idle one instead.
    auto found = m_entries.find(statement->m_sql);
    if (found != m_entries.end() && found->statement->m_leased) {
        found->statement->m_cached = false;
        found->statement = statement;
        statement->m_cached = true;
        return;
    }
    discard(statement);
}

void Sqlite3StatementCache::evictOldest()
{
    auto oldest = m_entries.begin();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->lastUse < oldest->lastUse)
            oldest = it;
    }
    Sqlite3Statement *statement = oldest->statement;
    m_entries.erase(oldest);
    statement->m_cached = false;
    if (!statement->m_leased)   // a lent one goes when it comes back
        discard(statement);
}

void Sqlite3StatementCache::discard(Sqlite3Statement *statement)
{
    m_all.remove(statement);
    delete statement;
}
