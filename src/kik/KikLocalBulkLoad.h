#pragma once

#include "db/Sqlite3Prepared.h"
#include "kik/Export.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <memory>

class Sqlite3DB;
class KikMessage;

struct sqlite3;

// Filling a local database whose kik_message table is empty, inside the caller's transaction.
// The indexes of kik_message and kik_chat_messages are dropped at the start and built again at
// the end, one sorted pass each instead of growing row by row, from the file's own definitions.
// Messages get their ids here, in the order they come: the ids the engine would give them.
// Rows are held back and written many to a statement. Chat-membership rows are written last,
// chat by chat, so that the primary-key index of their table grows at its end instead of all
// over. Until the end the connection refuses to commit; a rollback undoes everything, indexes
// included, and ends the load.
class PARLEWICK_KIK_EXPORT KikLocalBulkLoad
{
public:
    // Null, with nothing changed, outside a transaction, when messages are stored already, or
    // when the file's tables are not the ones the schema script makes.
    static std::unique_ptr<KikLocalBulkLoad> beginThrow(Sqlite3DB &db, const QByteArray &schema);
    ~KikLocalBulkLoad();
    KikLocalBulkLoad(const KikLocalBulkLoad &) = delete;
    KikLocalBulkLoad &operator=(const KikLocalBulkLoad &) = delete;

    // The transaction it belonged to was rolled back: the load is over, with nothing of it kept.
    bool isRolledBack() const { return m_rolledBack; }

    // The message's id; ts in milliseconds since 1970. The record must stay alive until the
    // rows are written.
    qint64 insertMessage(const KikMessage *message, qint64 targetUserId, qint64 ts);
    // ts in milliseconds since 1970.
    void addChatMessage(qint64 chatId, qint64 messageId, qint64 ts);
    // Writes the rows held back.
    void flushThrow();
    // Writes the rows held back and builds the dropped indexes again.
    void endThrow();

private:
    struct HeldMessage
    {
        const KikMessage *message;
        qint64 targetUserId;
        qint64 ts;
    };
    struct HeldChatMessage
    {
        qint64 messageId;
        qint64 ts;
    };

    KikLocalBulkLoad(Sqlite3DB &db, qint64 nextMessageId, QList<QByteArray> droppedIndexes);
    template <typename Row, typename Bind>
    void writeRowsThrow(QList<Row> &rows, Sqlite3Prepared &batch, Sqlite3Prepared &single, int stride, Bind bind);
    void writeMessagesThrow();
    void writeChatMessagesThrow();
    void setHooks(bool on);

    Sqlite3DB &m_db;
    sqlite3 *m_hooked = nullptr;   // the connection whose hooks are set
    bool m_rolledBack = false;
    qint64 m_nextMessageId;
    QList<QByteArray> m_droppedIndexes;
    QList<HeldMessage> m_messages;
    QHash<qint64, QList<HeldChatMessage>> m_chatMessages;   // by chat id, in the order they came
    Sqlite3Prepared m_insertMessages;                       // a full batch
    Sqlite3Prepared m_insertMessage;                        // one, for the rest
    Sqlite3Prepared m_addChatMessages;
    Sqlite3Prepared m_addChatMessage;
};
