#include "ui/CommandScope.h"

#include "views/ItemModelMain.h"

#include <QSet>

CommandScope CommandScope::of(const ItemModelMain &model, ItemNode *current)
{
    CommandScope scope;
    scope.current = current;
    if (isDataSource(current))
        scope.source = static_cast<SourceItemNode *>(current);
    else if (current && current->type == ChatSessionNodeType && isDataSource(current->parent))
        scope.source = static_cast<SourceItemNode *>(current->parent);
    scope.devices = model.countChildrenOfType(model.deviceRoot(), IOSDeviceNodeType);
    return scope;
}

bool CommandScope::isDataSource(const ItemNode *node)
{
    return node && (node->type == IOSDeviceNodeType || node->type == LocalDbNodeType);
}

QString CommandMessages::selectionWords(int messages, const QString &chatOrSource)
{
    return QObject::tr("%n selected messages of %1", nullptr, messages).arg(chatOrSource);
}

QString CommandMessages::chatWords(const QString &chat, int messages)
{
    return QObject::tr("the chat with %1 (%n messages)", nullptr, messages).arg(chat);
}

QString CommandMessages::allChatsWords(int chats, const QString &source)
{
    return QObject::tr("all %n chats of %1", nullptr, chats).arg(source);
}

int CommandMessages::chatsOf(const KikMessageList &messages)
{
    QSet<const KikChat *> chats;
    for (const KikMessage *message : messages) {
        if (message->chat)
            chats.insert(message->chat);
    }
    return int(chats.size());
}
