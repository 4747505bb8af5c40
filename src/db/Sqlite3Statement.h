#pragma once

#include "db/Export.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

struct sqlite3_stmt;
class Sqlite3StatementCache;

// One prepared statement and the state of its current run. The connection's statement
// cache owns it and lends it out; the lender's last reference hands it back (endLease).
// When the connection closes while it is lent, it is finalized and becomes detached:
// stepping then raises, reading gives empty values.
class PARLEWICK_DB_EXPORT Sqlite3Statement
{
public:
    Sqlite3Statement(sqlite3_stmt *stmt, const QByteArray &sql, Sqlite3StatementCache *cache, bool cached);
    ~Sqlite3Statement();
    Sqlite3Statement(const Sqlite3Statement &) = delete;
    Sqlite3Statement &operator=(const Sqlite3Statement &) = delete;

    // Deleter of the shared pointers the cache hands out.
    static void endLease(Sqlite3Statement *statement);

    void bindThrow(const QVariantList &params);
    // Binding by position (from 1) without variants, for statements kept and run many times.
    // Text is bound as UTF-8, blobs without a copy; both are kept until the run ends.
    void bindNullThrow(int position);
    void bindInt64Throw(int position, qint64 value);
    void bindTextThrow(int position, const QString &value);
    void bindBlobThrow(int position, const QByteArray &value);   // a null array binds NULL
    // Back to the start for the next run of a statement kept by its holder; bindings dropped.
    void restart();
    bool isDetached() const { return !m_stmt; }

    bool stepThrow();   // true while a row is current; false at the end (and from then on)
    void runThrow();    // steps to the end, ignoring rows

    int columnCount() const;
    QString columnName(int index) const;
    int columnIndex(const QString &name) const;   // exact name first, then ignoring case

    bool isNull(int index) const;
    qint64 int64At(int index) const;
    double doubleAt(int index) const;
    QString textAt(int index) const;
    QByteArray blobAt(int index) const;
    QVariant valueAt(int index) const;   // typed by the stored value; NULL gives a null variant

private:
    friend class Sqlite3StatementCache;

    bool hasValue(int index) const;
    void bindOneThrow(int position, const QVariant &value);
    void checkOpenThrow() const;
    void checkBindThrow(int rc) const;
    void startRun();
    void finishRun();   // reset and drop bindings
    void detach();      // connection closing while lent

    sqlite3_stmt *m_stmt;
    QByteArray m_sql;
    Sqlite3StatementCache *m_cache;
    bool m_cached;   // the cache's entry for m_sql (else an extra, finalized on return)
    bool m_leased = false;
    bool m_hasRow = false;
    bool m_done = false;
    bool m_stepped = false;
    mutable bool m_namesKnown = false;
    mutable QStringList m_names;
    mutable QHash<QString, int> m_indexByName;
    QList<QByteArray> m_bound;   // text and blobs bound without a copy, kept until the run ends
};
