#include "ui/ShownMessages.h"

#include "kik/KikRules.h"
#include "ui/ConversationTitle.h"
#include "ui/MessageSearch.h"
#include "ui/SourceTreeView.h"
#include "ui/WindowPanes.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"
#include "widgets/KikBubbleViewMgr.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>

#include <algorithm>

namespace {

// The window's texts keep its translation context.
QString windowText(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

}   // namespace

ShownMessages::ShownMessages(const WindowPanes &panes, const ItemModelMain &sources, QObject *parent)
    : QObject(parent)
    , m_panes(panes)
    , m_sources(sources)
    , m_model(new MessageListModel(this))
    , m_bubbles(new KikBubbleViewMgr(this))
{
    m_panes.messageList->setModel(m_model);
    m_bubbles->setView(m_panes.bubbles);
    m_panes.messageList->expandAll();
    m_search = new MessageSearch(panes, m_model, m_bubbles, this);
    m_title = new ConversationTitle(panes.chatPicture, panes.chatName, this);
    connect(m_panes.messageList, &SourceTreeView::onSelectionChanged, this, &ShownMessages::rowsSelected);
    connect(m_panes.messageList->header(), &QHeaderView::sortIndicatorChanged, this, &ShownMessages::sortIndicatorChanged);
}

bool ShownMessages::hasSelection() const
{
    return m_panes.messageList->selectionModel()->hasSelection();
}

void ShownMessages::clear()
{
    m_chat = nullptr;
    m_dataSet.reset();
    m_model->clear();
    m_bubbles->showBubble(KikMessageList());
    m_search->forgetResult();
    m_panes.messageCount->setText(windowText("Messages: 0"));
    m_title->clear();
    refreshEmptyHint();
}

void ShownMessages::refreshEmptyHint()
{
    QString hint = QStringLiteral("Choose a chat or a source on the left to see its messages.");
    if (m_dataSet)
        hint = QStringLiteral("No messages here.");
    else if (m_sources.deviceRoot()->children.isEmpty() && m_sources.localDbRoot()->children.isEmpty())
        hint = QStringLiteral("Import a backup or connect an iPhone\n\nFile > Import from iTunes Backup reads a backup "
                              "of your iPhone; an iPhone plugged in with its cable appears under Devices.");
    m_panes.messageList->setEmptyHint(hint);
}

void ShownMessages::show(const KikDataSetPtr &dataSet, KikChat *chat)
{
    m_chat = chat;
    m_dataSet = dataSet;
    const Qt::SortOrder order = m_panes.messageList->header()->sortIndicatorOrder();
    KikMessageList messages;
    if (chat) {
        messages = chat->messages;
        sortMessages(messages, order);
    } else {
        messages = m_order.allMessages(dataSet, order);
    }
    give(messages);
    m_panes.messageCount->setText(windowText("Messages: %1").arg(messages.size()));
    refreshEmptyHint();
    m_title->show(chat);
}

void ShownMessages::give(const KikMessageList &messages)
{
    m_search->forgetResult();
    m_model->setMessages(messages);
    m_bubbles->showBubble(messages);
}

void ShownMessages::rowsSelected(const QItemSelection &selected)
{
    // Ranges, not indexes: a select-all of a large list must not list every cell.
    for (const QItemSelectionRange &range : selected) {
        if (range.left() == 0 && MessageListModel::messageOf(range.topLeft())) {
            m_bubbles->scrollToPos(range.top());
            return;
        }
    }
}

void ShownMessages::sortIndicatorChanged(int logicalIndex, Qt::SortOrder order)
{
    if (logicalIndex != 0) {
        m_panes.messageList->header()->setSortIndicator(0, Qt::AscendingOrder);   // signals again
        return;
    }
    KikMessageList messages = m_model->messages();
    sortMessages(messages, order);
    give(messages);
}

void ShownMessages::copySelection() const
{
    QStringList lines;
    QModelIndexList rows = m_panes.messageList->selectionModel()->selectedRows(0);
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex &row : rows) {
        QStringList cells;
        for (int column = 0; column < m_model->columnCount(); ++column)
            cells << m_model->index(row.row(), column).data().toString().replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines << cells.join(QLatin1Char('\t'));
    }
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

CommandMessages ShownMessages::messagesFor(MessageVariant variant, const CommandScope &scope) const
{
    if (variant == MessageVariant::Toolbar) {
        if (hasSelection())
            variant = MessageVariant::Selection;
        else
            variant = scope.currentIsChat() ? MessageVariant::Chat : MessageVariant::All;
    }
    const QString sourceName = scope.source ? scope.source->text : QString();
    const auto allChats = [&](const KikDataSetPtr &dataSet, const KikMessageList &messages) {
        return CommandMessages{dataSet, messages, CommandMessages::allChatsWords(CommandMessages::chatsOf(messages), sourceName)};
    };
    switch (variant) {
    case MessageVariant::Selection: {
        CommandMessages result{m_dataSet, {}, {}};
        for (const QModelIndex &row : m_panes.messageList->selectionModel()->selectedRows(0)) {
            if (KikMessage *message = MessageListModel::messageOf(row))
                result.messages.append(message);
        }
        result.what = CommandMessages::selectionWords(int(result.messages.size()), m_chat ? chatDisplayName(m_chat) : sourceName);
        return result;
    }
    case MessageVariant::Chat:
        // A source's node shows all its messages in the list.
        if (!m_chat)
            return allChats(m_dataSet, m_model->messages());
        return {m_dataSet, m_model->messages(),
                CommandMessages::chatWords(chatDisplayName(m_chat), int(m_model->messages().size()))};
    default:
        if (!scope.source || !scope.source->dataSet)
            return {};
        return allChats(scope.source->dataSet, scope.source->dataSet->allMessages());
    }
}
