#include "db/Sqlite3Prepared.h"

#include "db/Sqlite3DB.h"
#include "db/Sqlite3Statement.h"

Sqlite3Prepared::Sqlite3Prepared(Sqlite3DB &db, const QByteArray &sql)
    : m_db(db)
    , m_sql(sql)
    , m_statement(nullptr, &Sqlite3Statement::endLease)
{
}

Sqlite3Statement &Sqlite3Prepared::startThrow()
{
    if (!m_statement || m_statement->isDetached())
        m_statement = m_db.prepareOwnThrow(m_sql);
    else
        m_statement->restart();
    return *m_statement;
}

void Sqlite3Prepared::runThrow()
{
    m_statement->runThrow();
}

qint64 Sqlite3Prepared::int64Throw()
{
    const qint64 value = m_statement->stepThrow() ? m_statement->int64At(0) : 0;
    m_statement->restart();   // ends the read at once
    return value;
}
