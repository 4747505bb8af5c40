#include "kik/KikSchemaMap.h"

#include "app/AppError.h"

KikSchemaMap KikSchemaMap::read(Sqlite3DB &db)
{
    KikSchemaMap map;
    Sqlite3Cursor cursor = db.queryThrow("select * from sqlite_master where type='table'");
    while (cursor.moveNext()) {
        Table table;
        table.name = cursor.getText("tbl_name");
        table.sql = cursor.getText("sql");
        map.m_tables.insert(table.name.toLower(), table);
    }
    for (Table &table : map.m_tables) {
        for (const Sqlite3Column &column : db.tbCols(table.name))
            table.columns.insert(column.name.toLower(), column);
    }
    return map;
}

bool KikSchemaMap::hasTable(const QString &table) const
{
    return m_tables.contains(table.toLower());
}

bool KikSchemaMap::hasColumn(const QString &table, const QString &column) const
{
    const Table *found = this->table(table);
    return found && found->columns.contains(column.toLower());
}

const KikSchemaMap::Table *KikSchemaMap::table(const QString &name) const
{
    const auto it = m_tables.constFind(name.toLower());
    return it == m_tables.constEnd() ? nullptr : &it.value();
}

QStringList KikSchemaMap::tableNames() const
{
    QStringList names;
    for (const Table &table : m_tables)
        names.append(table.name);
    names.sort();
    return names;
}

void KikSchemaMap::requireThrow(const QString &what, const QString &table, const QStringList &columns) const
{
    if (!hasTable(table))
        failWith(QStringLiteral("%1 is not a complete Kik store: it has no table %2.").arg(what, table));
    for (const QString &column : columns) {
        if (!hasColumn(table, column))
            failWith(
                QStringLiteral("%1 is not a complete Kik store: it has no column %2 in the table %3.").arg(what, column, table));
    }
}
