#include "KikDbTestKit.h"

#include "kik/KikLocalDb.h"

#include <stdexcept>

namespace KikDbTestKit {

QString errorText(const std::function<void()> &action)
{
    try {
        action();
    } catch (const std::runtime_error &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

qint64 scalar(Sqlite3DB &db, const QString &sql)
{
    Sqlite3Cursor cursor = db.queryThrow(sql);
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

KikDataSetPtr loadAll(AbsKikDb &db)
{
    KikDataSetPtr dataSet(new KikDataSet);
    db.load(dataSet);
    return dataSet;
}

QHash<QString, _KikMessage *> messagesByUid(const KikDataSet &dataSet)
{
    QHash<QString, _KikMessage *> byUid;
    for (_KikMessage *message : dataSet.messages)
        byUid.insert(message->uid, message);
    return byUid;
}

void mergeIntoLocal(KikLocalDb &db, const KikMessageList &messages)
{
    db.open();
    db.beginTran();
    for (const _KikMessage *message : messages) {
        if (!message->chat || !message->chat->user)
            continue;
        const _KikUser *user = message->chat->user;
        qint64 userId = db.findUserByJid(user);
        if (userId == 0)
            userId = db.insertUser(user);
        qint64 chatId = db.findChatByUserId(userId);
        if (chatId == 0) {
            chatId = db.insertChat(userId, message->chat);
            for (const KikMember &member : user->members)
                db.saveMember(userId, member);
        }
        qint64 messageId = db.findMessageByUid(message->uid);
        if (messageId == 0)
            messageId = db.insertMessage(message);
        db.addChatMessage(chatId, messageId, message->ts);
    }
    db.commitTran();
    db.updateLastTs();
}

}
