#pragma once

#include "db/Sqlite3Prepared.h"
#include "kik/AbsKikDb.h"
#include "kik/Export.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>

class KikLocalBulkLoad;
class QTemporaryDir;

// One local message database: a folder with the SQLite file "talvora-kik.db" and the folders
// "thumbs" (attachment pictures), "prof" (profile pictures) and "files" (attachment content).
// Rows are never updated once stored: merging only adds users, chats, messages and chat
// memberships that are missing. Every operation opens the database first.
class PARLEWICK_KIK_EXPORT KikLocalDb : public AbsKikDb
{
public:
    static constexpr char DatabaseFileName[] = "talvora-kik.db";
    static constexpr char SchemaResource[] = ":res/kiklocaldb.sql";

    // Does not touch the disk.
    explicit KikLocalDb(const QString &folder);
    ~KikLocalDb() override;

    QString folder() const { return m_folder; }
    QString thumbsFolder() const { return m_thumbsFolder; }
    QString profFolder() const { return m_profFolder; }
    QString filesFolder() const { return m_filesFolder; }
    QString databasePath() const;

    // For a database that must stay as it is (a folder named on the command line): open then
    // makes no folders and writes nothing in the folder, and a missing database file is an
    // error. Set before open.
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }

    // Creates the folders and, when the database file is missing, the database from the schema.
    void open() override;
    // This object's open put the database file in place (it did not exist before).
    bool createdDatabase() const { return m_createdDatabase; }
    bool load(const KikDataSetPtr &dataSet) override;

    qint64 findUserByJid(const KikUser *user);   // 0 when absent or no user
    qint64 insertUser(const KikUser *user);
    qint64 findChatByUserId(qint64 userId);
    qint64 insertChat(qint64 userId, const KikChat *chat);      // last_ts stays NULL until updateLastTs
    void saveMember(qint64 groupId, const KikMember &member);   // replaces the pair's row
    qint64 findMessageByUid(const QString &uid);
    // The ids of the first two messages stored with this uid, in id order.
    QList<qint64> findMessagesByUid(const QString &uid);
    // A message without a uid of its own is known by what it is: its chat, sender (targetUserId,
    // 0 for none), time (ts in ms since 1970), direction, uid, body and content. The id of the
    // occurrence-th stored message (from 0, in id order) so alike, 0 when there are fewer.
    qint64 findMessageByContent(qint64 chatId, const KikMessage *message, qint64 targetUserId, qint64 ts, qint64 occurrence);
    qint64 insertMessage(const KikMessage *message);
    // With the target user's id (0: none) and the message's time in ms since 1970 (0 when
    // invalid) already known, for callers that keep them.
    qint64 insertMessage(const KikMessage *message, qint64 targetUserId, qint64 ts);
    void addChatMessage(qint64 chatId, qint64 messageId, const QDateTime &ts);
    void addChatMessage(qint64 chatId, qint64 messageId, qint64 ts);   // ts in ms since 1970
    void updateLastTs();

    // For filling a database that holds no messages yet, inside the caller's transaction (see
    // KikLocalBulkLoad): until endBulkLoad, insertMessage and addChatMessage may hold rows
    // back, and the message records must stay alive; the operations that read messages write
    // them first. findMessageByUid then reads the whole table: a caller storing many messages
    // tells repeated uids apart itself. False, with nothing done, when messages are stored
    // already. The database refuses to commit before endBulkLoad; a rollback ends the load.
    bool beginBulkLoad();
    void endBulkLoad();

    // The delete commands, each in one transaction. Files in the three folders are kept.
    void deleteChat(qint64 chatId);
    // Deletes the messages with these row ids, then chat memberships and chats left empty. Not by
    // uid: messages without a uid of their own are rows of their own.
    void deleteMessages(const QList<qint64> &messageIds);

private:
    static QByteArray readSchemaThrow();
    void runSchemaThrow(const QByteArray &script);
    void createThrow(const QString &path);
    bool hasNoTablesThrow();
    void loadUsers(KikDataSet &dataSet);
    void loadMembers(KikDataSet &dataSet);
    void loadChats(KikDataSet &dataSet);
    void loadMessages(KikDataSet &dataSet);
    void loadChatMessages(KikDataSet &dataSet);
    KikLocalBulkLoad *activeBulkLoad();   // null also once its transaction was rolled back
    void writeHeldRowsThrow();

    QString m_folder;
    QString m_thumbsFolder;
    QString m_profFolder;
    QString m_filesFolder;
    bool m_readOnly = false;
    bool m_createdDatabase = false;
    std::unique_ptr<QTemporaryDir> m_readCopy;
    std::unique_ptr<KikLocalBulkLoad> m_bulkLoad;
    // The statements a merge runs once or more per message, kept prepared.
    Sqlite3Prepared m_findUser;
    Sqlite3Prepared m_findMessage;
    Sqlite3Prepared m_findMessages;
    Sqlite3Prepared m_findMessageByContent;
    Sqlite3Prepared m_insertMessage;
    Sqlite3Prepared m_addChatMessage;
};
