#include "KikDataBuilder.h"

#include <QRandomGenerator>

KikUser *KikDataBuilder::addUser(const QString &displayName, const QString &jid)
{
    auto *user = new KikUser;
    user->id = nextId();
    user->display_name = displayName;
    user->jid = jid.isEmpty() ? QStringLiteral("user%1@talk.kik.com").arg(user->id) : jid;
    user->user_name = QStringLiteral("user%1").arg(user->id);
    m_set.users.insert(user->id, user);
    return user;
}

KikUser *KikDataBuilder::addGroup(const QString &displayName, const QList<KikUser *> &members)
{
    KikUser *group = addUser(displayName, QStringLiteral("%1_g@groups.kik.com").arg(m_nextId));
    group->is_group = true;
    for (KikUser *member : members)
        group->members.append(KikMember{member, false, false});
    return group;
}

KikChat *KikDataBuilder::addChat(KikUser *user)
{
    auto *chat = new KikChat;
    chat->id = nextId();
    chat->user = user;
    m_set.chats.insert(chat->id, chat);
    return chat;
}

KikMessage *KikDataBuilder::addMessage(KikChat *chat, const QDateTime &ts, const QString &body, bool wasMe, KikUser *sender)
{
    auto *message = new KikMessage;
    message->id = nextId();
    message->internal_id = message->id;
    message->ts = ts;
    message->uid = QStringLiteral("uid-%1").arg(message->id);
    message->was_me = wasMe;
    message->body = body;
    message->target_user = sender ? sender : (chat && chat->user && !chat->user->is_group ? chat->user : nullptr);
    message->chat = chat;
    m_set.messages.insert(message->id, message);
    if (chat) {
        chat->messages.append(message);
        if (!chat->last_ts.isValid() || chat->last_ts < ts)
            chat->last_ts = ts;
    }
    return message;
}

KikMessage *KikDataBuilder::addLooseMessage(const QDateTime &ts, const QString &body)
{
    return addMessage(nullptr, ts, body, false);
}

KikMessage *KikDataBuilder::addPicture(KikChat *chat, const QDateTime &ts, const QString &previewPath, bool wasMe,
                                       KikUser *sender)
{
    KikMessage *message = addMessage(chat, ts, QString(), wasMe, sender);
    message->app_id = QStringLiteral("com.kik.ext.gallery");
    message->content_id = QStringLiteral("content-%1").arg(message->id);
    message->preview_path = previewPath;
    return message;
}

KikDataSetPtr generateKikData(int chats, qint64 messages, quint32 seed)
{
    static const QStringList texts = {
        QStringLiteral("hi"),
        QStringLiteral("See you at 8, ok?"),
        QStringLiteral("She said \"hi\" and left"),
        QStringLiteral("first line\nsecond line"),
        QStringLiteral("windows\r\nline"),
        QStringLiteral("emoji \U0001F604 and \u2705"),
        QStringLiteral("<b>not markup</b> & more"),
        QStringLiteral("A somewhat longer message that goes on for a while so that it needs more than one line "
                       "when printed, and still ends."),
    };
    KikDataSetPtr set(new KikDataSet);
    KikDataBuilder builder(*set);
    QRandomGenerator random(seed);
    QList<KikChat *> chatList;
    QList<KikUser *> people;
    for (int i = 0; i < std::max(chats, 1); ++i) {
        KikUser *person = builder.addUser(QStringLiteral("Person %1").arg(i));
        people.append(person);
        if (i % 4 == 3)
            chatList.append(builder.addChat(builder.addGroup(QStringLiteral("Group %1").arg(i), people.mid(i - 3, 3))));
        else
            chatList.append(builder.addChat(person));
    }
    const QDateTime start(QDate(2015, 3, 1), QTime(9, 0), Qt::UTC);
    for (qint64 n = 0; n < messages; ++n) {
        KikChat *chat = chatList.at(int(n % chatList.size()));
        const QDateTime ts = start.addSecs(n * 60);
        const bool wasMe = random.bounded(2) == 0;
        KikUser *sender = nullptr;
        if (chat->user->is_group && !wasMe)
            sender = chat->user->members.at(random.bounded(int(chat->user->members.size()))).user;
        const int kind = random.bounded(20);
        KikMessage *message = builder.addMessage(chat, ts, texts.at(random.bounded(int(texts.size()))), wasMe, sender);
        if (kind == 0) {
            message->app_id = QStringLiteral("com.kik.ext.gallery");
            message->body.clear();
        } else if (kind == 1) {
            message->app_id = QStringLiteral("com.kik.cards");
            message->sub_app_id = QStringLiteral("Stickers");
        }
    }
    return set;
}
