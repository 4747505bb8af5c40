#include "db/Sqlite3DB.h"

#include "db/Sqlite3Error.h"
#include "db/Sqlite3Statement.h"
#include "db/Sqlite3StatementCache.h"

#include <sqlite3.h>

namespace {

// The backup worker and the main window may open the same file: wait for the other
// connection's lock rather than fail at once.
const int kBusyTimeoutMs = 15000;

const char *kNotOpen = "The database is not open.";

}

Sqlite3DB::Sqlite3DB() = default;

Sqlite3DB::~Sqlite3DB()
{
    close();
}

void Sqlite3DB::openThrow(const QString &path, int flags)
{
    close();
    const int mode = flags & ~SQLITE_OPEN_URI;
    if (mode != SQLITE_OPEN_READONLY && mode != ReadWrite && mode != ReadWriteCreate)
        throw sqliteError(QStringLiteral("Invalid open flags %1.").arg(flags), path);

    sqlite3 *db = nullptr;
    // A connection is used by one thread at a time, so the engine's own locking is not needed.
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // The file is only read on first use; read its header now so that a file that is
        // not a database fails here, naming the file, and not in the middle of a job.
        rc = sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        const AppError error = db ? sqliteError(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)), path, path)
                                  : sqliteError(QStringLiteral("out of memory"), path);
        sqlite3_close_v2(db);
        throw error;
    }
    m_db = db;
    m_path = path;
    m_cache = std::make_unique<Sqlite3StatementCache>(m_db);
}

bool Sqlite3DB::isOpen() const
{
    return m_db != nullptr;
}

void Sqlite3DB::close()
{
    if (!m_db)
        return;
    rollbackTran();    // never commit half a job
    m_cache.reset();   // finalizes every statement; open cursors are detached
    m_workLimit.reset();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_path.clear();
}

QString Sqlite3DB::filePath() const
{
    return m_path;
}

void Sqlite3DB::beginTran()
{
    // Immediate: take the write lock now, so two writers queue up on the busy timeout
    // instead of one failing when it first writes.
    execScriptThrow("BEGIN IMMEDIATE");
}

void Sqlite3DB::commitTran()
{
    execScriptThrow("COMMIT");
}

void Sqlite3DB::rollbackTran()
{
    if (inTransaction())
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Sqlite3DB::inTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}

void Sqlite3DB::executeThrow(const Sqlite3Sql &sql)
{
    if (!m_db)
        throw sqliteError(QString::fromLatin1(kNotOpen), QString::fromUtf8(sql.sql()));
    const Sqlite3Lease statement = m_cache->acquireThrow(sql.sql());
    statement->bindThrow(sql.params());
    statement->runThrow();
}

Sqlite3Cursor Sqlite3DB::queryThrow(const Sqlite3Sql &sql)
{
    if (!m_db)
        throw sqliteError(QString::fromLatin1(kNotOpen), QString::fromUtf8(sql.sql()));
    Sqlite3Lease statement = m_cache->acquireThrow(sql.sql());
    statement->bindThrow(sql.params());
    return Sqlite3Cursor(QSharedPointer<Sqlite3Statement>(statement.release(), &Sqlite3Statement::endLease));
}

Sqlite3Lease Sqlite3DB::prepareOwnThrow(const QByteArray &sql)
{
    if (!m_db)
        throw sqliteError(QString::fromLatin1(kNotOpen), QString::fromUtf8(sql));
    return m_cache->acquireOwnThrow(sql);
}

int Sqlite3DB::exec(const QString &sql, QString *error)
{
    if (!m_db) {
        if (error)
            *error = QString::fromLatin1(kNotOpen);
        return SQLITE_MISUSE;
    }
    if (m_workLimit)
        m_workLimit->restart();
    char *message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (error)
        *error = rc == SQLITE_OK ? QString() : QString::fromUtf8(message ? message : sqlite3_errstr(rc));
    sqlite3_free(message);
    return rc;
}

void Sqlite3DB::execScriptThrow(const QByteArray &script)
{
    if (!m_db)
        throw sqliteError(QString::fromLatin1(kNotOpen), QString());
    if (m_workLimit)
        m_workLimit->restart();
    char *message = nullptr;
    // constData() ends in NUL, so the script ends at its first NUL byte.
    const int rc = sqlite3_exec(m_db, script.constData(), nullptr, nullptr, &message);
    sqlite3_free(message);   // the connection keeps it too, with the extended code
    if (rc != SQLITE_OK)
        throw sqliteError(m_db, QString());
}

void Sqlite3DB::limitWorkToFileSizeThrow()
{
    if (!m_db)
        throw sqliteError(QString::fromLatin1(kNotOpen), QString());
    qint64 pages = 0;
    qint64 pageSize = 0;
    for (auto [pragma, value] : {std::pair{"PRAGMA page_count", &pages}, std::pair{"PRAGMA page_size", &pageSize}}) {
        Sqlite3Cursor cursor = queryThrow(pragma);
        *value = cursor.moveNext() ? cursor.getInt64(0) : 0;
    }
    m_workLimit.reset();   // before the new one: its destructor removes the handler
    m_workLimit = std::make_unique<Sqlite3WorkLimit>(m_db, Sqlite3WorkLimit::forDatabaseBytes(pages * pageSize));
    m_cache->setWorkLimit(m_workLimit.get());
}

qint64 Sqlite3DB::lastInsertId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int Sqlite3DB::changes() const
{
    return m_db ? sqlite3_changes(m_db) : 0;
}

QList<Sqlite3Column> Sqlite3DB::tbCols(const QString &table)
{
    QList<Sqlite3Column> columns;
    Sqlite3Cursor cursor = queryThrow(
        Sqlite3Sql("select name, type, \"notnull\", pk, dflt_value from pragma_table_info(?) order by cid").addTextParam(table));
    while (cursor.moveNext()) {
        Sqlite3Column column;
        column.name = cursor.getText(0);
        column.type = cursor.getText(1);
        column.notNull = cursor.getInt(2) != 0;
        column.primaryKey = cursor.getInt(3) != 0;
        column.defaultValue = cursor.getText(4);
        columns.append(column);
    }
    return columns;
}

qint64 Sqlite3DB::statementsPrepared() const
{
    return m_cache ? m_cache->preparedCount() : 0;
}
