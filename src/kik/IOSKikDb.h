#pragma once

#include "kik/AbsKikDb.h"
#include "kik/Export.h"
#include "kik/KikSchemaMap.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <utility>

class QTemporaryDir;

// A many-to-many table of Kik's Core Data store: its name and its two key columns.
struct PARLEWICK_KIK_EXPORT IOSKikJoinTable
{
    QString table;
    QString first;
    QString second;
};

// Kik's own store ("Documents/kik.sqlite") in a local folder that mirrors the app container
// of "com.kik.chat". Loads users, groups, chats and messages into a data set, and writes
// messages into the store with everything Core Data would otherwise maintain itself.
class PARLEWICK_KIK_EXPORT IOSKikDb : public AbsKikDb
{
public:
    enum OpenMode {
        ReadWriteMode,   // the store is opened read-write; it must exist
        // Nothing in the mirror is written, not even SQLite's side files: the store is opened
        // as immutable, or, when its write-ahead log holds data, a temporary copy is read.
        ReadOnlyMode,
    };

    // Called for each attachment side file right after it was written or found in place: the
    // local file and its path inside the app container (with a leading "/").
    using SideFileHandler = std::function<void(const QString &localPath, const QString &containerPath)>;

    static constexpr char StoreFile[] = "Documents/kik.sqlite";

    // thumbsFolder: where pictures from attachment descriptions go; by default rootFolder +
    // "/thumbs". It is created (with parents) here when missing. Nothing else is touched.
    explicit IOSKikDb(const QString &rootFolder, const QString &thumbsFolder = QString());
    ~IOSKikDb() override;

    QString rootFolder() const { return m_root; }
    QString thumbsFolder() const { return m_thumbs; }
    QString storePath() const;
    void setOpenMode(OpenMode mode) { m_mode = mode; }   // before open

    // Opens the store and reads its tables and entity numbers.
    void open() override;
    bool load(const KikDataSetPtr &dataSet) override;

    // The number of received and sent messages and the newest one's time (invalid when none).
    std::pair<qint64, QDateTime> messageSummary();
    // The store's own account: the Kik user name and display name of the user row Kik flags as
    // the phone's owner (ZFLAGS 258, a hint rather than a rule); empty when no row says so.
    std::pair<QString, QString> ownAccount();

    qint64 entityNumber(const QString &name) const;   // 0 when Z_PRIMARYKEY lacks the name
    bool hasTable(const QString &name) const;
    const IOSKikJoinTable &chatMessagesTable() const { return m_chatMessages; }
    const IOSKikJoinTable &adminsTable() const { return m_admins; }
    const IOSKikJoinTable &bansTable() const { return m_bans; }
    const IOSKikJoinTable &membersTable() const { return m_members; }

    // Writing. Keys are Z_PK values; 0 means none.
    qint64 findUserPk(const KikUser *user);
    qint64 insertUser(const KikUser *user);
    // With fixFlags, a found chat whose ZFLAGS differ from what its kind needs is corrected.
    qint64 findChatByUser(qint64 userPk, const KikChat *chat, bool fixFlags);
    qint64 insertChat(const KikChat *chat, qint64 userPk);
    qint64 findMessagePk(const QString &stanzaId);
    qint64 findMessageWithoutUidPk(qint64 chatPk, const KikMessage *message);
    qint64 insertMessage(const KikMessage *message);
    void linkChatMessage(qint64 chatPk, qint64 messagePk);

    // Merges one message (with its user and chat) inside the caller's transaction and writes
    // its attachment side files into mirrorFolder. False when the message was skipped because
    // it has no chat or its chat no user. Side-file errors raise "can not create %1. %2" or
    // "write %1 error. %2".
    bool mergeMessage(const KikMessage *message, const QString &mirrorFolder, const SideFileHandler &deliver = {});

    // After the merge was committed: renumbers every chat's messages, sets the last-message
    // pointers and Z_MAX counters, rebuilds the message indexes and compacts the file.
    void consolidate();

private:
    void openStoreThrow();
    // Entity numbers and join tables of the open store.
    void readLayoutThrow();
    QString storeName() const;   // "Kik's database <path>", for messages
    void requireReadableSchemaThrow() const;
    void loadAdminSets(const IOSKikJoinTable &table, QHash<qint64, QSet<qint64>> &sets);
    void loadUsers(KikDataSet &dataSet, const QHash<qint64, QSet<qint64>> &admins);
    void loadMembers(KikDataSet &dataSet, const QHash<qint64, QSet<qint64>> &admins, const QHash<qint64, QSet<qint64>> &bans);
    void loadChats(KikDataSet &dataSet);
    void loadMessages(KikDataSet &dataSet);
    void loadChatMessages(KikDataSet &dataSet);
    void writeSideFiles(const KikMessage *message, const QString &mirrorFolder, const SideFileHandler &deliver);
    // Adds the "extra" row that belongs to a new chat or attachment row and points the owner's
    // ZEXTRA at it.
    void insertExtraRow(const QString &entity, int opt, const QString &ownerTable, const char *ownerColumn, qint64 ownerPk);

    QString m_root;
    QString m_thumbs;
    OpenMode m_mode = ReadWriteMode;
    std::unique_ptr<QTemporaryDir> m_readCopy;
    KikSchemaMap m_schema;
    QHash<QString, qint64> m_entities;
    IOSKikJoinTable m_chatMessages;
    IOSKikJoinTable m_admins;
    IOSKikJoinTable m_bans;
    IOSKikJoinTable m_members;
    QSet<qint64> m_matchedWithoutUid;   // rows of messages without a uid this object merged into
};
