#pragma once

#include "db/Export.h"
#include "db/Sqlite3Row.h"

#include <QByteArray>
#include <QSharedPointer>
#include <QString>

struct sqlite3_stmt;
class Sqlite3Statement;

// Rows of one query. moveNext() is called before the first row and is true while a row
// is current. Values are read by column name (or index); a missing column or NULL reads
// as 0 / empty. Copies share the statement, which stays alive while any copy exists.
// Errors while stepping raise AppError with the engine's message.
class PARLEWICK_DB_EXPORT Sqlite3Cursor
{
public:
    Sqlite3Cursor() = default;
    explicit Sqlite3Cursor(QSharedPointer<Sqlite3Statement> statement);

    bool moveNext();

    int columnIndex(const QString &name) const;   // -1 when the query has no such column
    int columnCount() const;
    QString columnName(int index) const;

    bool isNull(const QString &name) const;
    int getInt(const QString &name) const;
    qint64 getInt64(const QString &name) const;
    double getDouble(const QString &name) const;
    QString getText(const QString &name) const;
    QByteArray getBlob(const QString &name) const;

    bool isNull(int index) const;
    int getInt(int index) const;
    qint64 getInt64(int index) const;
    double getDouble(int index) const;
    QString getText(int index) const;
    QByteArray getBlob(int index) const;

    Sqlite3Row getRow() const;

private:
    QSharedPointer<Sqlite3Statement> m_statement;
};
