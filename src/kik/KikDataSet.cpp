#include "kik/KikDataSet.h"

KikDataSet::~KikDataSet()
{
    qDeleteAll(chats);
    qDeleteAll(messages);
    qDeleteAll(users);
}

QList<KikChat *> KikDataSet::allChats() const
{
    return chats.values();
}

KikMessageList KikDataSet::allMessages() const
{
    return messages.values();
}
