#include "kik/KikLocalBulkLoad.h"

#include "db/Sqlite3DB.h"
#include "db/Sqlite3Statement.h"
#include "kik/KikMessageRow.h"

#include <QScopeGuard>

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

// Rows per statement: most of the cost of a one-row insert is the statement's own round.
const int kRowsPerStatement = 64;

QByteArray insertSql(const char *head, int columns, int rows)
{
    QByteArray row = "(?";
    for (int i = 1; i < columns; ++i)
        row += ",?";
    row += ')';
    QByteArray sql = head;
    for (int i = 0; i < rows; ++i)
        sql += (i == 0 ? " values" : ",") + row;
    return sql;
}

// "or fail": a row breaking a constraint stops the statement but keeps the rows before it, so
// the engine need not journal each statement to undo it. The whole load is undone then: the
// caller rolls back, and the connection refuses to commit a load that did not end.
QByteArray insertMessagesSql(int rows)
{
    return insertSql((QByteArray("insert or fail into kik_message(_id, ") + KikMessageRow::Columns + ')').constData(),
                     KikMessageRow::ColumnCount + 1, rows);
}

// A message already in the chat keeps its row: the primary key makes the row a no-op.
QByteArray addChatMessagesSql(int rows)
{
    return insertSql("insert or ignore into kik_chat_messages(chat_id, message_id, ts)", 3, rows);
}

// The two tables and any triggers on them.
QList<QByteArray> tableDefinitionsThrow(Sqlite3DB &db)
{
    QList<QByteArray> definitions;
    Sqlite3Cursor tables = db.queryThrow("select sql from sqlite_master where type in ('table', 'trigger') "
                                         "and tbl_name in ('kik_message', 'kik_chat_messages') order by type, name");
    while (tables.moveNext())
        definitions.append(tables.getText(0).toUtf8());
    return definitions;
}

// Rows stored in bulk are the rows stored one by one only for the tables as this program
// defines them (column types and collations decide which uids are equal) and without triggers
// (they would see the rows come in another order); a file made otherwise is merged row by row.
bool hasOwnTablesThrow(Sqlite3DB &db, const QByteArray &schema)
{
    Sqlite3DB own;
    own.openThrow(QStringLiteral(":memory:"), Sqlite3DB::ReadWriteCreate);
    own.execScriptThrow(schema);
    return tableDefinitionsThrow(db) == tableDefinitionsThrow(own);
}

// The id the engine gives the first message, asked of it: an empty row stored and taken back.
// 0 when it cannot be stored (the ids are used up): merging row by row then meets the same
// failure, or none when it stores nothing.
qint64 firstMessageIdThrow(Sqlite3DB &db)
{
    db.execScriptThrow("savepoint first_message_id");
    qint64 id = 0;
    try {
        db.execScriptThrow("insert into kik_message default values");
        id = db.lastInsertId();
    } catch (const std::runtime_error &) {
    }
    db.execScriptThrow("rollback to first_message_id; release first_message_id");
    return id;
}

}

std::unique_ptr<KikLocalBulkLoad> KikLocalBulkLoad::beginThrow(Sqlite3DB &db, const QByteArray &schema)
{
    // Outside a transaction the indexes would be gone for good at once.
    if (!db.inTransaction())
        return nullptr;
    Sqlite3Cursor stored = db.queryThrow("select exists(select 1 from kik_message)");
    if (!stored.moveNext() || stored.getInt64(0) != 0)
        return nullptr;
    stored = Sqlite3Cursor();
    if (!hasOwnTablesThrow(db, schema))
        return nullptr;
    // Far from the end of the ids, so that counting on from it never overflows.
    const qint64 firstId = firstMessageIdThrow(db);
    if (firstId <= 0 || firstId >= std::numeric_limits<qint64>::max() / 2)
        return nullptr;
    // Their definitions are taken from the file, so that they come back as they were. Only plain
    // index definitions are run again (and each as one statement): a file holding anything else
    // there is merged row by row.
    QList<QByteArray> names;
    QList<QByteArray> definitions;
    Sqlite3Cursor indexes = db.queryThrow("select name, sql from sqlite_master where type='index' and sql is not null "
                                          "and tbl_name in ('kik_message', 'kik_chat_messages') order by rowid");
    while (indexes.moveNext()) {
        names.append(indexes.getText(0).toUtf8());
        definitions.append(indexes.getText(1).toUtf8());
        const QByteArray &definition = definitions.last();
        if ((!definition.startsWith("CREATE INDEX ") && !definition.startsWith("CREATE UNIQUE INDEX "))
            || definition.contains(';') || definition.contains('\0'))
            return nullptr;
    }
    indexes = Sqlite3Cursor();
    for (const QByteArray &name : std::as_const(names))
        db.execScriptThrow("drop index \"" + QByteArray(name).replace('"', "\"\"") + '"');
    // The indexes are built by sorting, in pieces as large as the page cache: small ones stay in
    // the processor's caches.
    db.execScriptThrow("pragma cache_size=-2048");
    return std::unique_ptr<KikLocalBulkLoad>(new KikLocalBulkLoad(db, firstId, definitions));
}

KikLocalBulkLoad::KikLocalBulkLoad(Sqlite3DB &db, qint64 nextMessageId, QList<QByteArray> droppedIndexes)
    : m_db(db)
    , m_nextMessageId(nextMessageId)
    , m_droppedIndexes(std::move(droppedIndexes))
    , m_insertMessages(db, insertMessagesSql(kRowsPerStatement))
    , m_insertMessage(db, insertMessagesSql(1))
    , m_addChatMessages(db, addChatMessagesSql(kRowsPerStatement))
    , m_addChatMessage(db, addChatMessagesSql(1))
{
    m_messages.reserve(kRowsPerStatement);
    setHooks(true);
}

KikLocalBulkLoad::~KikLocalBulkLoad()
{
    setHooks(false);
}

// A commit with rows held back or indexes missing would store a database that looks complete
// but is not: it is refused (the engine then rolls back). A rollback is noted.
void KikLocalBulkLoad::setHooks(bool on)
{
    if (on) {
        m_hooked = m_db.handle();
        sqlite3_commit_hook(
            m_hooked, [](void *) { return 1; }, nullptr);
        sqlite3_rollback_hook(
            m_hooked, [](void *load) { static_cast<KikLocalBulkLoad *>(load)->m_rolledBack = true; }, this);
    } else if (m_hooked && m_hooked == m_db.handle()) {   // not once the connection is closed
        sqlite3_commit_hook(m_hooked, nullptr, nullptr);
        sqlite3_rollback_hook(m_hooked, nullptr, nullptr);
        m_hooked = nullptr;
    }
}

qint64 KikLocalBulkLoad::insertMessage(const KikMessage *message, qint64 targetUserId, qint64 ts)
{
    m_messages.append({message, targetUserId, ts});
    const qint64 id = m_nextMessageId++;
    if (m_messages.size() == kRowsPerStatement)
        writeMessagesThrow();
    return id;
}

void KikLocalBulkLoad::addChatMessage(qint64 chatId, qint64 messageId, qint64 ts)
{
    m_chatMessages[chatId].append({messageId, ts});
}

void KikLocalBulkLoad::flushThrow()
{
    writeMessagesThrow();
    writeChatMessagesThrow();
}

void KikLocalBulkLoad::endThrow()
{
    flushThrow();
    for (const QByteArray &definition : std::as_const(m_droppedIndexes))
        m_db.executeThrow(Sqlite3Sql(definition.constData()));
    m_droppedIndexes.clear();
    setHooks(false);
}

// A full batch goes through one statement, the rest one row at a time. The rows are let go
// in any case: after a failure the caller rolls back.
template <typename Row, typename Bind>
void KikLocalBulkLoad::writeRowsThrow(QList<Row> &rows, Sqlite3Prepared &batch, Sqlite3Prepared &single, int stride, Bind bind)
{
    const auto letGo = qScopeGuard([&rows] { rows.clear(); });
    if (rows.size() == kRowsPerStatement) {
        Sqlite3Statement &statement = batch.startThrow();
        for (qsizetype i = 0; i < rows.size(); ++i)
            bind(statement, int(i) * stride + 1, rows[i], i);
        batch.runThrow();
        return;
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        bind(single.startThrow(), 1, rows[i], i);
        single.runThrow();
    }
}

void KikLocalBulkLoad::writeMessagesThrow()
{
    const qint64 firstId = m_nextMessageId - m_messages.size();
    writeRowsThrow(m_messages, m_insertMessages, m_insertMessage, KikMessageRow::ColumnCount + 1,
                   [firstId](Sqlite3Statement &statement, int position, const HeldMessage &row, qsizetype i) {
                       statement.bindInt64Throw(position, firstId + i);
                       KikMessageRow::bindThrow(statement, position + 1, row.message, row.targetUserId, row.ts);
                   });
}

// Chat by chat in id order, each chat's messages by id. A pair that comes twice keeps the row
// that came first, as when the rows go in one by one.
void KikLocalBulkLoad::writeChatMessagesThrow()
{
    struct Row
    {
        qint64 chatId;
        HeldChatMessage held;
    };
    const auto letGo = qScopeGuard([this] { m_chatMessages.clear(); });
    const auto byMessageId = [](const HeldChatMessage &a, const HeldChatMessage &b) { return a.messageId < b.messageId; };
    const auto writeThrow = [this](QList<Row> &rows) {
        writeRowsThrow(rows, m_addChatMessages, m_addChatMessage, 3,
                       [](Sqlite3Statement &statement, int position, const Row &row, qsizetype) {
                           statement.bindInt64Throw(position, row.chatId);
                           statement.bindInt64Throw(position + 1, row.held.messageId);
                           statement.bindInt64Throw(position + 2, row.held.ts);
                       });
    };
    QList<qint64> chatIds = m_chatMessages.keys();
    std::sort(chatIds.begin(), chatIds.end());
    QList<Row> batch;
    batch.reserve(kRowsPerStatement);
    for (const qint64 chatId : std::as_const(chatIds)) {
        QList<HeldChatMessage> &held = m_chatMessages[chatId];
        // Ids are handed out in the order messages come, so a chat's rows are in order already
        // unless a uid came back.
        if (!std::is_sorted(held.cbegin(), held.cend(), byMessageId))
            std::stable_sort(held.begin(), held.end(), byMessageId);
        for (const HeldChatMessage &row : std::as_const(held)) {
            batch.append({chatId, row});
            if (batch.size() == kRowsPerStatement)
                writeThrow(batch);
        }
        held = QList<HeldChatMessage>();   // given back chat by chat
    }
    writeThrow(batch);
}
