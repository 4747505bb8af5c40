#pragma once

#include "db/Sqlite3DB.h"
#include "kikstore/KikFakeAttachment.h"
#include "kikstore/KikFakeText.h"
#include "kikstore/KikStoreGenerator.h"

#include <QList>
#include <QRandomGenerator>

#include <memory>

// One run of the store generator: the rows of the store, written in one transaction through
// prepared statements, and the side files.
class KikStoreWriter
{
public:
    KikStoreWriter(const KikStoreOptions &options, const QString &rootFolder);

    GeneratedKikStore run();

private:
    struct Chat
    {
        qint64 pk = 0;
        qint64 extraPk = 0;
        qint64 userPk = 0;
        bool group = false;
        QList<qint64> members;
        qint64 remaining = 0;
        qint64 nextInternalId = 0;
        qint64 lastMessage = 0;
        double lastTimestamp = 0;
    };

    void createStore();
    void createSchema(bool indexes);
    void writeUsers();
    qint64 writeUser(const QString &jid, const QString &displayName, const QString &userName, bool group);
    void writeProfilePicture(const QString &jid);
    void writeGroupRelations();
    void writeChats();
    void writeMessages();
    void writeMessage(Chat &chat, double timestamp);
    void writeAttachment(qint64 messagePk, double timestamp, const QString &contentId);
    void finishChats();
    void writeBookkeeping();
    void writeNewerEntities();
    QByteArray protoBlob(const QString &text);
    void insertPair(const QString &statement, qint64 first, qint64 second);
    int entity(const char *name) const;   // the layout's entity number

    const KikStoreOptions m_options;
    GeneratedKikStore m_out;
    QRandomGenerator m_random;
    KikFakeText m_text;
    std::unique_ptr<KikFakeAttachment> m_attachments;
    Sqlite3DB m_db;
    QList<qint64> m_contactPks;
    QList<qint64> m_groupPks;
    QList<Chat> m_chats;
    qint64 m_messagePk = 0;
    qint64 m_attachmentPk = 0;
    qint64 m_userExtraPk = 0;
    // Statements on the join tables, named after the layout's entity numbers.
    QString m_membersInsert;
    QString m_adminsInsert;
    QString m_bansInsert;
    QString m_membersQuery;
    QString m_chatMessagesInsert;
};
