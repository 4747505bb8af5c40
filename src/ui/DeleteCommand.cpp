#include "ui/DeleteCommand.h"

#include "app/AppFolders.h"
#include "app/FileUtils.h"
#include "app/MessageBoxes.h"
#include "kik/KikLocalDb.h"
#include "ui/MainWindow.h"
#include "views/ItemModelMain.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

QString databaseFolder(const _ItemNode *node)
{
    return QDir(localDatabasesFolder()).filePath(node->text);
}

_ItemNode *chatNodeWithId(_ItemNode *database, qint64 chatId)
{
    for (_ItemNode *child : database->children) {
        const _KikChat *chat = static_cast<_ChatSessionItemNode *>(child)->chat;
        if (chat && chat->id == chatId)
            return child;
    }
    return nullptr;
}

} // namespace

void DeleteCommand::deleteSelected()
{
    const CommandScope scope = m_window.commandScope();
    if (!scope.sourceIsLocalDb())
        return;
    const CommandMessages selected = m_window.messagesFor(MessageVariant::Selection);
    if (selected.messages.isEmpty() || !askQuestion(QObject::tr("IDS_CONFIRM_DEL_SEL_MESSAGES")))
        return;
    QList<qint64> messageIds;   // a local database's records carry their row ids
    for (const _KikMessage *message : selected.messages)
        messageIds << message->id;
    const _KikChat *shownChat = m_window.currentChat();
    const qint64 shownChatId = shownChat ? shownChat->id : 0;   // row ids start at 1
    auto *node = static_cast<_LocalDbItemNode *>(scope.source);
    try {
        KikLocalDb(databaseFolder(node)).deleteMessages(messageIds);
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
        return;
    }
    if (!m_window.reloadLocalDb(node))
        return;
    // The chat shown before, unless its last message went with the deletion.
    _ItemNode *chatNode = shownChatId ? chatNodeWithId(node, shownChatId) : nullptr;
    m_window.selectNode(chatNode ? chatNode : node);
}

void DeleteCommand::deleteChat()
{
    const CommandScope scope = m_window.commandScope();
    if (!scope.currentIsChat() || !scope.sourceIsLocalDb())
        return;
    const _KikChat *chat = static_cast<_ChatSessionItemNode *>(scope.current)->chat;
    if (!chat || !askQuestion(QObject::tr("IDS_CONFIRM_DEL_THIS_CHAT")))
        return;
    auto *node = static_cast<_LocalDbItemNode *>(scope.source);
    try {
        KikLocalDb db(databaseFolder(node));
        db.open();
        const qint64 chatId = db.findChatByUserId(db.findUserByJid(chat->user));
        if (chatId != 0)
            db.deleteChat(chatId);
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
        return;
    }
    if (m_window.reloadLocalDb(node))
        m_window.selectNode(node);
}

void DeleteCommand::deleteDatabase()
{
    const CommandScope scope = m_window.commandScope();
    if (!scope.current || scope.current->type != LocalDbNodeType)
        return;
    if (!askQuestion(QObject::tr("IDS_CONFIRM_DEL_THIS_LOCALDB")))
        return;
    auto *node = static_cast<_LocalDbItemNode *>(scope.current);
    const QString folder = databaseFolder(node);
    removeFolderTree(folder);
    if (!QFileInfo::exists(QDir(folder).filePath(QLatin1String(KikLocalDb::DatabaseFileName))))
        m_window.removeSourceNode(node);
    if (QFileInfo::exists(folder)) {
        // Something in it could not be removed; saying "deleted" would be untrue.
        reportError(QStringLiteral("Failed to delete the database folder %1 completely.")
                        .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    showInformation(QObject::tr("IDS_DEL_LOCALDB_SUC"));
}

void DeleteCommand::deleteFromToolbar()
{
    if (m_window.hasSelectedMessages())
        deleteSelected();
    else if (m_window.commandScope().currentIsChat())
        deleteChat();
    else
        deleteDatabase();
}
