#pragma once

#include "db/Export.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>

// SQL text plus the parameters bound to its '?' marks in the order they were added.
// Passed by value. A null QVariant binds NULL; a QByteArray binds a BLOB (an empty one an
// empty blob, a null one NULL); a QString always binds text; booleans and integers bind
// integers. Any other type, or a parameter count that does not match the marks, raises
// when the statement runs.
class PARLEWICK_DB_EXPORT Sqlite3Sql
{
public:
    Sqlite3Sql() = default;
    Sqlite3Sql(const QString &sql);
    Sqlite3Sql(const char *sql);

    Sqlite3Sql &addTextParam(const QString &value);
    Sqlite3Sql &addIntParam(int value);
    Sqlite3Sql &addInt64Param(qint64 value);
    Sqlite3Sql &addDoubleParam(double value);
    Sqlite3Sql &addBlobParam(const QByteArray &value);
    Sqlite3Sql &addNullParam();
    Sqlite3Sql &addParam(const QVariant &value);   // by the variant's type

    const QByteArray &sql() const { return m_sql; }   // UTF-8
    const QVariantList &params() const { return m_params; }

private:
    QByteArray m_sql;
    QVariantList m_params;
};
