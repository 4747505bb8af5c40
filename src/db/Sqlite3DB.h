#pragma once

#include "db/Export.h"
#include "db/Sqlite3Cursor.h"
#include "db/Sqlite3Sql.h"
#include "db/Sqlite3StatementCache.h"
#include "db/Sqlite3WorkLimit.h"

#include <QList>
#include <QString>
#include <memory>

struct sqlite3;

// Version of the database access layer; start-up refuses to run unless it is 7.
PARLEWICK_DB_EXPORT int sqlite_qt_version();

struct PARLEWICK_DB_EXPORT Sqlite3Column
{
    QString name;
    QString type;
    bool notNull = false;
    bool primaryKey = false;
    QString defaultValue;
};

// One open SQLite connection, closed on destruction. Operations ending in Throw raise
// AppError carrying the engine's message. Statements run through executeThrow
// and queryThrow are prepared once per SQL text and reused. Closing (or destroying) the
// connection rolls back an open transaction; cursors that outlive it raise on moveNext()
// and read empty values.
class PARLEWICK_DB_EXPORT Sqlite3DB
{
public:
    enum OpenFlags { ReadOnly = 1, ReadWrite = 2, ReadWriteCreate = 6, UriFileName = 0x40 };

    Sqlite3DB();
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB &) = delete;
    Sqlite3DB &operator=(const Sqlite3DB &) = delete;

    // flags: ReadWrite, ReadWriteCreate or ReadOnly, optionally with UriFileName (the path is then
    // a "file:" URI with its query parameters). Fails on a file that is not a database.
    void openThrow(const QString &path, int flags);
    bool isOpen() const;
    void close();
    QString filePath() const;

    // Transactions. begin/commit raise on failure; rollback never does.
    void beginTran();
    void commitTran();
    void rollbackTran();
    bool inTransaction() const;

    void executeThrow(const Sqlite3Sql &sql);
    Sqlite3Cursor queryThrow(const Sqlite3Sql &sql);
    // A statement the caller keeps and runs many times (see Sqlite3Prepared); closing the
    // connection detaches it.
    Sqlite3Lease prepareOwnThrow(const QByteArray &sql);
    // Runs SQL text (several statements allowed); 0 or the SQLite result code, message in *error.
    int exec(const QString &sql, QString *error = nullptr);
    // Runs a whole script in one sqlite3_exec call; raises on a non-zero result.
    void execScriptThrow(const QByteArray &script);

    qint64 lastInsertId() const;
    int changes() const;
    QList<Sqlite3Column> tbCols(const QString &table);

    // For a database from outside (a phone, a backup): each run of a statement may do only the
    // work a file of its size can need (Sqlite3WorkLimit); beyond it the run fails as damaged.
    // Until the connection closes.
    void limitWorkToFileSizeThrow();

    sqlite3 *handle() const { return m_db; }
    // Statements prepared since the connection opened (the cache makes repeats free).
    qint64 statementsPrepared() const;

private:
    sqlite3 *m_db = nullptr;
    QString m_path;
    std::unique_ptr<Sqlite3StatementCache> m_cache;
    std::unique_ptr<Sqlite3WorkLimit> m_workLimit;
};
