#include "kik/IOSKikConsolidation.h"

#include "app/AppError.h"
#include "kik/IOSKikDb.h"
#include "kik/NeighbourSort.h"

#include <QDebug>

#include <stdexcept>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

struct MessageIndex
{
    const char *name;
    const char *create;
};

const MessageIndex MessageIndexes[] = {
    {"ZKIKMESSAGE_ZINTERNALID_INDEX", "CREATE INDEX ZKIKMESSAGE_ZINTERNALID_INDEX ON ZKIKMESSAGE (ZINTERNALID)"},
    {"ZKIKMESSAGE_ZCHATEXTRA_INDEX", "CREATE INDEX ZKIKMESSAGE_ZCHATEXTRA_INDEX ON ZKIKMESSAGE (ZCHATEXTRA)"},
    {"ZKIKMESSAGE_ZLASTMESSAGECHAT_INDEX", "CREATE INDEX ZKIKMESSAGE_ZLASTMESSAGECHAT_INDEX ON ZKIKMESSAGE (ZLASTMESSAGECHAT)"},
};

struct Counter
{
    const char *table;
    const char *statement;
};

const Counter Counters[] = {
    {"ZKIKATTACHMENT", "update Z_PRIMARYKEY set Z_MAX=(select max(Z_PK) from ZKIKATTACHMENT) where Z_NAME='KikAttachment'"},
    {"ZKIKATTACHMENTEXTRA",
     "update Z_PRIMARYKEY set Z_MAX=(select max(Z_PK) from ZKIKATTACHMENTEXTRA) where Z_NAME='KikAttachmentExtra'"},
    {"ZKIKCHAT", "update Z_PRIMARYKEY set Z_MAX=(select max(Z_PK) from ZKIKCHAT) where Z_NAME='KikChat'"},
    {"ZKIKCHATEXTRA", "update Z_PRIMARYKEY set Z_MAX=(select max(Z_PK) from ZKIKCHATEXTRA) where Z_NAME='KikChatExtra'"},
    {"ZKIKMESSAGE", "update Z_PRIMARYKEY set Z_MAX=(select max(Z_PK) from ZKIKMESSAGE) where Z_NAME='KikMessage'"},
    {"ZKIKUSER", "update Z_PRIMARYKEY set Z_MAX=(select max(Z_PK) from ZKIKUSER) where Z_NAME='KikUser'"},
    {"ZKIKUSEREXTRA", "update Z_PRIMARYKEY set Z_MAX=(select max(Z_PK) from ZKIKUSEREXTRA) where Z_NAME='KikUserExtra'"},
};

}

void IOSKikConsolidation::run()
{
    m_db.open();
    // Rolling back a failed pass must not take the caller's merge with it.
    if (m_db.inTransaction())
        failWith(QStringLiteral("The merge into Kik's database has to be committed before it is consolidated."));
    QList<Row> rows = readRows();
    // Chat by chat, in the order the store gave them within each chat.
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.chat < b.chat; });

    dropIndexes();
    try {
        m_db.beginTran();
        for (auto first = rows.begin(); first != rows.end();) {
            const auto last = std::find_if(first, rows.end(), [&](const Row &row) { return row.chat != first->chat; });
            renumberChat(first, last);
            first = last;
        }
        updateCounters();
        m_db.commitTran();
    } catch (...) {
        m_db.rollbackTran();
        try {
            createIndexes();   // the store is left with its indexes; the first error is the one reported
        } catch (const std::exception &) {
        }
        throw;
    }
    createIndexes();
    m_db.executeThrow("VACUUM");
}

QList<IOSKikConsolidation::Row> IOSKikConsolidation::readRows()
{
    const IOSKikJoinTable &join = m_db.chatMessagesTable();
    const QString sql = QStringLiteral("select m.Z_PK, m.ZTIMESTAMP, cm.") + join.first + QStringLiteral(", e.Z_PK as extra_id")
                        + QStringLiteral(" from zkikmessage as m") + QStringLiteral(" inner join ") + join.table
                        + QStringLiteral(" as cm") + QStringLiteral(" on m.z_pk=cm.") + join.second
                        + QStringLiteral(" left join zkikchatextra as e on cm.") + join.first + QStringLiteral("=e.ZCHAT");
    QList<Row> rows;
    Sqlite3Cursor cursor = m_db.queryThrow(sql);
    while (cursor.moveNext())
        rows.append({cursor.getInt64(0), cursor.getDouble(1), cursor.getInt64(2), cursor.getInt64(3)});
    return rows;
}

void IOSKikConsolidation::renumberChat(QList<Row>::iterator first, QList<Row>::iterator last)
{
    // A chat with several extra rows lists each message once per extra row; the numbering
    // must count every message once, and the chat keeps its first extra row.
    qint64 extra = 0;
    for (auto it = first; it != last; ++it) {
        if (it->extra > 0 && (extra == 0 || it->extra < extra))
            extra = it->extra;
    }
    std::stable_sort(first, last, [](const Row &a, const Row &b) { return a.message < b.message; });
    last = std::unique(first, last, [](const Row &a, const Row &b) { return a.message == b.message; });

    const auto strict = [](const Row &a, const Row &b) {
        return a.timestamp != b.timestamp ? a.timestamp < b.timestamp : a.message < b.message;
    };
    const auto rule = [](const Row &a, const Row &b) {
        const quint64 keyDistance =
            a.message > b.message ? quint64(a.message) - quint64(b.message) : quint64(b.message) - quint64(a.message);
        if (keyDistance <= 10 && std::fabs(a.timestamp - b.timestamp) <= 60)
            return a.message < b.message;
        return a.timestamp < b.timestamp;
    };
    neighbourSort(first, last, strict, rule);

    const Row newest = *std::prev(last);
    qint64 position = 0;
    for (auto it = first; it != last; ++it, ++position) {
        Sqlite3Sql sql("update ZKIKMESSAGE set ZINTERNALID=?, ZCHATEXTRA=?, ZLASTMESSAGECHAT=? where Z_PK=?");
        sql.addInt64Param(position);
        if (it->message == newest.message && extra > 0)
            sql.addInt64Param(extra);
        else
            sql.addNullParam();
        if (it->message == newest.message)
            sql.addInt64Param(newest.chat);
        else
            sql.addNullParam();
        m_db.executeThrow(sql.addInt64Param(it->message));
    }
    m_db.executeThrow(Sqlite3Sql("update ZKIKCHAT set ZLASTMESSAGE=?, ZDATEUPDATED=? where Z_PK=?")
                          .addInt64Param(newest.message)
                          .addDoubleParam(newest.timestamp)
                          .addInt64Param(newest.chat));
    if (extra > 0)
        m_db.executeThrow(
            QStringLiteral("update ZKIKCHATEXTRA set ZLASTSEENMESSAGE=%1 where Z_PK=%2").arg(newest.message).arg(extra));
}

void IOSKikConsolidation::updateCounters()
{
    for (const Counter &counter : Counters) {
        if (!m_db.hasTable(QLatin1String(counter.table)))
            continue;
        // An empty table would set the counter to NULL, which Core Data cannot count on from.
        Sqlite3Cursor rows = m_db.queryThrow(QStringLiteral("select 1 from %1 limit 1").arg(QLatin1String(counter.table)));
        if (rows.moveNext())
            m_db.executeThrow(counter.statement);
    }
}

// A store that already lacks one of the indexes (a pass that failed half-way, an older Kik)
// would make the plain drop fail; only the indexes that are there are dropped.
void IOSKikConsolidation::dropIndexes()
{
    for (const MessageIndex &index : MessageIndexes) {
        if (indexExists(index.name))
            m_db.executeThrow(QStringLiteral("drop index %1").arg(QLatin1String(index.name)));
        else
            qDebug("IOSKikDb: index %s is missing; it is created again", index.name);
    }
}

void IOSKikConsolidation::createIndexes()
{
    for (const MessageIndex &index : MessageIndexes) {
        if (!indexExists(index.name))
            m_db.executeThrow(index.create);
    }
}

bool IOSKikConsolidation::indexExists(const char *name)
{
    Sqlite3Cursor cursor = m_db.queryThrow(
        Sqlite3Sql("select 1 from sqlite_master where type='index' and name=?").addTextParam(QLatin1String(name)));
    return cursor.moveNext();
}
