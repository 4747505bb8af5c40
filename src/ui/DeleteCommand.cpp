#include "ui/DeleteCommand.h"

#include "app/FileUtils.h"
#include "kik/KikLocalDb.h"
#include "kik/LocalDbCatalogue.h"
#include "ui/CommandHost.h"
#include "views/ItemModelMain.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

QString databaseFolder(const ItemNode *node)
{
    return LocalDbCatalogue().folderOf(node->text);
}

ItemNode *chatNodeWithId(ItemNode *database, qint64 chatId)
{
    for (ItemNode *child : database->children) {
        const KikChat *chat = static_cast<ChatItemNode *>(child)->chat;
        if (chat && chat->id == chatId)
            return child;
    }
    return nullptr;
}

QString messagesText(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 message") : QStringLiteral("%1 messages").arg(count);
}

// The confirmation names what goes, so that a slip of the selection is seen before it is lost.
bool confirmDelete(const QString &question, const QString &whatGoes)
{
    return askQuestion(question + QStringLiteral("<br/><br/>") + whatGoes);
}

}   // namespace

void DeleteCommand::deleteSelected()
{
    const CommandScope scope = m_host.commandScope();
    if (!scope.sourceIsLocalDb())
        return;
    const CommandMessages selected = m_host.messagesFor(MessageVariant::Selection);
    auto *node = static_cast<LocalDbItemNode *>(scope.source);
    if (selected.messages.isEmpty()
        || !confirmDelete(QObject::tr("IDS_CONFIRM_DEL_SEL_MESSAGES"),
                          QStringLiteral("%1 will be deleted from the database \"%2\".")
                              .arg(messagesText(selected.messages.size()), escapeHtml(node->text))))
        return;
    QList<qint64> messageIds;   // a local database's records carry their row ids
    for (const KikMessage *message : selected.messages)
        messageIds << message->id;
    const KikChat *shownChat = m_host.currentChat();
    const qint64 shownChatId = shownChat ? shownChat->id : 0;   // row ids start at 1
    try {
        KikLocalDb(databaseFolder(node)).deleteMessages(messageIds);
    } catch (const std::exception &error) {
        reportError(richTextOf(QString::fromUtf8(error.what())));
        return;
    }
    if (!m_host.reloadLocalDb(node))
        return;
    // The chat shown before, unless its last message went with the deletion.
    ItemNode *chatNode = shownChatId ? chatNodeWithId(node, shownChatId) : nullptr;
    m_host.selectNode(chatNode ? chatNode : node);
}

void DeleteCommand::deleteChat()
{
    const CommandScope scope = m_host.commandScope();
    if (!scope.currentIsChat() || !scope.sourceIsLocalDb())
        return;
    const KikChat *chat = static_cast<ChatItemNode *>(scope.current)->chat;
    auto *node = static_cast<LocalDbItemNode *>(scope.source);
    if (!chat
        || !confirmDelete(QObject::tr("IDS_CONFIRM_DEL_THIS_CHAT"),
                          QStringLiteral("The chat with %1 and its %2 will be deleted from the database \"%3\".")
                              .arg(escapeHtml(scope.current->text), messagesText(chat->messages.size()), escapeHtml(node->text))))
        return;
    try {
        KikLocalDb db(databaseFolder(node));
        db.open();
        const qint64 chatId = db.findChatByUserId(db.findUserByJid(chat->user));
        if (chatId != 0)
            db.deleteChat(chatId);
    } catch (const std::exception &error) {
        reportError(richTextOf(QString::fromUtf8(error.what())));
        return;
    }
    if (m_host.reloadLocalDb(node))
        m_host.selectNode(node);
}

void DeleteCommand::deleteDatabase()
{
    const CommandScope scope = m_host.commandScope();
    if (!scope.current || scope.current->type != LocalDbNodeType)
        return;
    auto *node = static_cast<LocalDbItemNode *>(scope.current);
    const qsizetype count = node->dataSet ? node->dataSet->allMessages().size() : 0;
    // A database whose reading failed shows no messages, yet its file still holds them.
    const QString whatGoes =
        count > 0
            ? QStringLiteral("The database \"%1\" and its %2 will be deleted.").arg(escapeHtml(node->text), messagesText(count))
            : QStringLiteral("The database \"%1\" will be deleted with everything in it.").arg(escapeHtml(node->text));
    if (!confirmDelete(QObject::tr("IDS_CONFIRM_DEL_THIS_LOCALDB"), whatGoes))
        return;
    const QString folder = databaseFolder(node);
    removeFolderTree(folder);
    if (!QFileInfo::exists(QDir(folder).filePath(QLatin1String(KikLocalDb::DatabaseFileName))))
        m_host.removeSourceNode(node);
    if (QFileInfo::exists(folder)) {
        // Something in it could not be removed; saying "deleted" would be untrue.
        reportError(richTextOf(
            QStringLiteral("Failed to delete the database folder %1 completely.").arg(QDir::toNativeSeparators(folder))));
        return;
    }
    showInformation(QObject::tr("IDS_DEL_LOCALDB_SUC"));
}

void DeleteCommand::deleteFromToolbar()
{
    if (m_host.hasSelectedMessages())
        deleteSelected();
    else if (m_host.commandScope().currentIsChat())
        deleteChat();
    else
        deleteDatabase();
}
