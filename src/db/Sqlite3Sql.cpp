#include "db/Sqlite3Sql.h"

// Room for one parameter per '?' saves regrowing the list in loops of millions of rows.
Sqlite3Sql::Sqlite3Sql(const QString &sql)
    : m_sql(sql.toUtf8())
{
    m_params.reserve(m_sql.count('?'));
}

Sqlite3Sql::Sqlite3Sql(const char *sql)
    : m_sql(sql)
{
    m_params.reserve(m_sql.count('?'));
}

Sqlite3Sql &Sqlite3Sql::addTextParam(const QString &value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addIntParam(int value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addInt64Param(qint64 value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addDoubleParam(double value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addBlobParam(const QByteArray &value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addNullParam()
{
    m_params.append(QVariant());
    return *this;
}

Sqlite3Sql &Sqlite3Sql::addParam(const QVariant &value)
{
    m_params.append(value);
    return *this;
}
