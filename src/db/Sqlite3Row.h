#pragma once

#include "db/Export.h"
#include "db/Sqlite3Sql.h"

#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QVariant>

// One row as column-name/value pairs, in the order the columns were set.
class PARLEWICK_DB_EXPORT Sqlite3Row
{
public:
    void setVal(const QString &column, const QVariant &value);
    QVariant value(const QString &column) const;
    bool contains(const QString &column) const;
    QStringList columns() const;
    int size() const { return int(m_values.size()); }

    // "insert into <table>(cols...) values(?,...)" with every value bound. `only` limits the
    // columns written; empty means all of them.
    Sqlite3Sql insertSql(const QString &table, const QSet<QString> &only = {}) const;

private:
    QList<QPair<QString, QVariant>> m_values;
};
