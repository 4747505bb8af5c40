#pragma once

#include "db/Sqlite3DB.h"
#include "kik/Export.h"

#include <QHash>
#include <QString>
#include <QStringList>

// The tables of an open database with their SQL text and columns. Look-ups ignore case,
// as SQL does.
class PARLEWICK_KIK_EXPORT KikSchemaMap
{
public:
    struct Table
    {
        QString name;
        QString sql;
        QHash<QString, Sqlite3Column> columns;   // keyed by the lower-cased column name
    };

    static KikSchemaMap read(Sqlite3DB &db);

    bool hasTable(const QString &table) const;
    bool hasColumn(const QString &table, const QString &column) const;
    const Table *table(const QString &name) const;   // null when absent
    QStringList tableNames() const;                  // as the database spells them

    // Raises a runtime error naming the first of the tables or columns that is missing.
    // `what` names the database in the message.
    void requireThrow(const QString &what, const QString &table, const QStringList &columns) const;

private:
    QHash<QString, Table> m_tables;   // keyed by the lower-cased table name
};
