#include "db/Sqlite3Statement.h"

#include "db/Sqlite3Error.h"
#include "db/Sqlite3StatementCache.h"
#include "db/Sqlite3WorkLimit.h"

#include <sqlite3.h>

Sqlite3Statement::Sqlite3Statement(sqlite3_stmt *stmt, const QByteArray &sql, Sqlite3StatementCache *cache, bool cached)
    : m_stmt(stmt)
    , m_sql(sql)
    , m_cache(cache)
    , m_cached(cached)
{
}

Sqlite3Statement::~Sqlite3Statement()
{
    sqlite3_finalize(m_stmt);
}

void Sqlite3Statement::endLease(Sqlite3Statement *statement)
{
    if (statement->m_cache)
        statement->m_cache->giveBack(statement);
    else
        delete statement;
}

void Sqlite3Statement::bindThrow(const QVariantList &params)
{
    checkOpenThrow();
    const int expected = sqlite3_bind_parameter_count(m_stmt);
    if (expected != params.size())
        throw sqliteError(QStringLiteral("The statement takes %1 parameters but %2 were given.").arg(expected).arg(params.size()),
                          QString::fromUtf8(m_sql));
    for (int i = 0; i < params.size(); ++i)
        bindOneThrow(i + 1, params.at(i));
}

void Sqlite3Statement::bindOneThrow(int position, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        bindNullThrow(position);
        break;
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
        bindInt64Throw(position, value.toLongLong());
        break;
    case QMetaType::ULongLong:   // stored as its two's complement, as the engine has no unsigned type
        bindInt64Throw(position, qint64(value.toULongLong()));
        break;
    case QMetaType::Float:
    case QMetaType::Double:
        checkBindThrow(sqlite3_bind_double(m_stmt, position, value.toDouble()));
        break;
    case QMetaType::QString:
        bindTextThrow(position, value.toString());
        break;
    case QMetaType::QByteArray:
        bindBlobThrow(position, value.toByteArray());
        break;
    default:
        throw sqliteError(
            QStringLiteral("Parameter %1 has the unsupported type %2.").arg(position).arg(QString::fromLatin1(value.typeName())),
            QString::fromUtf8(m_sql));
    }
}

void Sqlite3Statement::checkOpenThrow() const
{
    if (!m_stmt)
        throw sqliteError(QStringLiteral("The database is closed."), QString::fromUtf8(m_sql));
}

void Sqlite3Statement::checkBindThrow(int rc) const
{
    if (rc != SQLITE_OK)
        throw sqliteError(sqlite3_db_handle(m_stmt), QString::fromUtf8(m_sql));
}

void Sqlite3Statement::bindNullThrow(int position)
{
    checkOpenThrow();
    checkBindThrow(sqlite3_bind_null(m_stmt, position));
}

void Sqlite3Statement::bindInt64Throw(int position, qint64 value)
{
    checkOpenThrow();
    checkBindThrow(sqlite3_bind_int64(m_stmt, position, value));
}

void Sqlite3Statement::bindTextThrow(int position, const QString &value)
{
    checkOpenThrow();
    m_bound.append(value.toUtf8());
    const QByteArray &text = m_bound.last();
    checkBindThrow(sqlite3_bind_text64(m_stmt, position, text.constData(), quint64(text.size()), SQLITE_STATIC, SQLITE_UTF8));
}

void Sqlite3Statement::bindBlobThrow(int position, const QByteArray &value)
{
    checkOpenThrow();
    if (value.isNull()) {
        bindNullThrow(position);
        return;
    }
    if (value.isEmpty()) {   // a null pointer would bind NULL, not an empty blob
        checkBindThrow(sqlite3_bind_zeroblob(m_stmt, position, 0));
        return;
    }
    m_bound.append(value);   // shares the caller's data
    const QByteArray &blob = m_bound.last();
    checkBindThrow(sqlite3_bind_blob64(m_stmt, position, blob.constData(), quint64(blob.size()), SQLITE_STATIC));
}

bool Sqlite3Statement::stepThrow()
{
    if (!m_stmt)
        throw sqliteError(QStringLiteral("The database is closed."), QString::fromUtf8(m_sql));
    if (m_done)   // stepping a finished statement would silently run it again
        return false;
    if (!m_stepped && m_cache && m_cache->m_workLimit)
        m_cache->m_workLimit->restart();
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        if (!m_stepped)   // a schema change re-prepares on the first step and may rename columns
            m_namesKnown = false;
        m_stepped = true;
        m_hasRow = true;
        return true;
    }
    m_hasRow = false;
    m_done = true;
    if (rc == SQLITE_DONE) {
        sqlite3_reset(m_stmt);   // releases the read lock while the cursor is still around
        return false;
    }
    const AppError error = sqliteError(sqlite3_db_handle(m_stmt), QString::fromUtf8(m_sql));
    sqlite3_reset(m_stmt);
    throw error;
}

void Sqlite3Statement::runThrow()
{
    while (stepThrow()) { }
}

int Sqlite3Statement::columnCount() const
{
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

QString Sqlite3Statement::columnName(int index) const
{
    if (!m_stmt || index < 0 || index >= columnCount())
        return QString();
    return QString::fromUtf8(sqlite3_column_name(m_stmt, index));
}

int Sqlite3Statement::columnIndex(const QString &name) const
{
    if (!m_stmt)
        return -1;
    if (!m_namesKnown) {
        m_names.clear();
        m_indexByName.clear();
        const int count = columnCount();
        for (int i = 0; i < count; ++i) {
            m_names.append(columnName(i));
            if (!m_indexByName.contains(m_names.last()))   // the first of equal names wins
                m_indexByName.insert(m_names.last(), i);
        }
        m_namesKnown = true;
    }
    const auto found = m_indexByName.constFind(name);
    if (found != m_indexByName.constEnd())
        return found.value();
    // Column names are case-insensitive in SQL.
    for (int i = 0; i < m_names.size(); ++i) {
        if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool Sqlite3Statement::hasValue(int index) const
{
    return m_stmt && m_hasRow && index >= 0 && index < sqlite3_data_count(m_stmt);
}

bool Sqlite3Statement::isNull(int index) const
{
    return !hasValue(index) || sqlite3_column_type(m_stmt, index) == SQLITE_NULL;
}

qint64 Sqlite3Statement::int64At(int index) const
{
    return hasValue(index) ? sqlite3_column_int64(m_stmt, index) : 0;
}

double Sqlite3Statement::doubleAt(int index) const
{
    return hasValue(index) ? sqlite3_column_double(m_stmt, index) : 0.0;
}

QString Sqlite3Statement::textAt(int index) const
{
    if (!hasValue(index))
        return QString();
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, index));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, index)) : QString();
}

QByteArray Sqlite3Statement::blobAt(int index) const
{
    if (isNull(index))
        return QByteArray();
    const auto *data = static_cast<const char *>(sqlite3_column_blob(m_stmt, index));
    const int size = sqlite3_column_bytes(m_stmt, index);
    return data ? QByteArray(data, size) : QByteArray("");   // empty, yet not NULL
}

QVariant Sqlite3Statement::valueAt(int index) const
{
    if (!hasValue(index))
        return QVariant();
    switch (sqlite3_column_type(m_stmt, index)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, index)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, index));
    case SQLITE_TEXT:
        return QVariant(textAt(index));
    case SQLITE_BLOB:
        return QVariant(blobAt(index));
    default:
        return QVariant();
    }
}

void Sqlite3Statement::startRun()
{
    m_leased = true;
    m_hasRow = false;
    m_done = false;
    m_stepped = false;
}

void Sqlite3Statement::finishRun()
{
    restart();
    m_leased = false;
}

void Sqlite3Statement::restart()
{
    m_hasRow = false;
    m_done = false;
    m_stepped = false;
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);   // before m_bound lets go of the bytes
    }
    m_bound.clear();
}

void Sqlite3Statement::detach()
{
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    m_cache = nullptr;
    m_bound.clear();
    m_hasRow = false;
    m_namesKnown = false;
    m_names.clear();
    m_indexByName.clear();
}
