#include "db/Sqlite3Row.h"

#include <QStringList>

namespace {

QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}

// Column names are compared ignoring case, as SQL does.
void Sqlite3Row::setVal(const QString &column, const QVariant &value)
{
    for (auto &pair : m_values) {
        if (pair.first.compare(column, Qt::CaseInsensitive) == 0) {
            pair.second = value;
            return;
        }
    }
    m_values.append(qMakePair(column, value));
}

QVariant Sqlite3Row::value(const QString &column) const
{
    for (const auto &pair : m_values) {
        if (pair.first.compare(column, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return QVariant();
}

bool Sqlite3Row::contains(const QString &column) const
{
    for (const auto &pair : m_values) {
        if (pair.first.compare(column, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList Sqlite3Row::columns() const
{
    QStringList names;
    for (const auto &pair : m_values)
        names.append(pair.first);
    return names;
}

Sqlite3Sql Sqlite3Row::insertSql(const QString &table, const QSet<QString> &only) const
{
    QStringList names;
    QVariantList values;
    for (const auto &pair : m_values) {
        if (only.isEmpty() || only.contains(pair.first)) {
            names.append(quoteIdentifier(pair.first));
            values.append(pair.second);
        }
    }
    QString text = QStringLiteral("insert into ") + quoteIdentifier(table);
    if (names.isEmpty()) {
        text += QStringLiteral(" default values");
    } else {
        QStringList marks;
        marks.fill(QStringLiteral("?"), names.size());
        text += QLatin1Char('(') + names.join(QLatin1Char(',')) + QStringLiteral(") values(") + marks.join(QLatin1Char(','))
                + QLatin1Char(')');
    }
    Sqlite3Sql sql(text);
    for (const QVariant &value : values)
        sql.addParam(value);
    return sql;
}
