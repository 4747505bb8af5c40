#include "db/Sqlite3Cursor.h"

#include "db/Sqlite3Statement.h"

Sqlite3Cursor::Sqlite3Cursor(QSharedPointer<Sqlite3Statement> statement)
    : m_statement(std::move(statement))
{
}

bool Sqlite3Cursor::moveNext()
{
    return m_statement && m_statement->stepThrow();
}

int Sqlite3Cursor::columnIndex(const QString &name) const
{
    return m_statement ? m_statement->columnIndex(name) : -1;
}

int Sqlite3Cursor::columnCount() const
{
    return m_statement ? m_statement->columnCount() : 0;
}

QString Sqlite3Cursor::columnName(int index) const
{
    return m_statement ? m_statement->columnName(index) : QString();
}

bool Sqlite3Cursor::isNull(const QString &name) const
{
    return isNull(columnIndex(name));
}
int Sqlite3Cursor::getInt(const QString &name) const
{
    return getInt(columnIndex(name));
}
qint64 Sqlite3Cursor::getInt64(const QString &name) const
{
    return getInt64(columnIndex(name));
}
double Sqlite3Cursor::getDouble(const QString &name) const
{
    return getDouble(columnIndex(name));
}
QString Sqlite3Cursor::getText(const QString &name) const
{
    return getText(columnIndex(name));
}
QByteArray Sqlite3Cursor::getBlob(const QString &name) const
{
    return getBlob(columnIndex(name));
}

bool Sqlite3Cursor::isNull(int index) const
{
    return !m_statement || m_statement->isNull(index);
}

int Sqlite3Cursor::getInt(int index) const
{
    return int(getInt64(index));
}

qint64 Sqlite3Cursor::getInt64(int index) const
{
    return m_statement ? m_statement->int64At(index) : 0;
}

double Sqlite3Cursor::getDouble(int index) const
{
    return m_statement ? m_statement->doubleAt(index) : 0.0;
}

QString Sqlite3Cursor::getText(int index) const
{
    return m_statement ? m_statement->textAt(index) : QString();
}

QByteArray Sqlite3Cursor::getBlob(int index) const
{
    return m_statement ? m_statement->blobAt(index) : QByteArray();
}

Sqlite3Row Sqlite3Cursor::getRow() const
{
    Sqlite3Row row;
    const int count = columnCount();
    for (int i = 0; i < count; ++i) {
        const QString name = columnName(i);
        if (!row.contains(name))   // as by-name reads: the first of equal names wins
            row.setVal(name, m_statement->valueAt(i));
    }
    return row;
}
