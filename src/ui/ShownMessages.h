#pragma once

#include "ui/CommandScope.h"
#include "ui/Export.h"
#include "ui/MessageOrderCache.h"

#include <QItemSelection>
#include <QObject>

class ConversationTitle;
class ItemModelMain;
class KikBubbleViewMgr;
class MessageListModel;
class MessageSearch;
struct WindowPanes;

// What the message list and the bubbles show: a source's messages or one chat's, in the order
// the list's header asks, with the count, the conversation's title, the search over them and
// the hint the empty list gives. Commands take their messages from here.
class PARLEWICK_UI_EXPORT ShownMessages : public QObject
{
    Q_OBJECT
public:
    ShownMessages(const WindowPanes &panes, const ItemModelMain &sources, QObject *parent);

    MessageListModel *model() const { return m_model; }
    KikBubbleViewMgr *bubbles() const { return m_bubbles; }
    MessageSearch &search() { return *m_search; }
    MessageOrderCache &order() { return m_order; }
    // The data set shown (kept alive while shown) and the chat, or none for all of its messages.
    const KikDataSetPtr &dataSet() const { return m_dataSet; }
    KikChat *chat() const { return m_chat; }
    bool hasSelection() const;

    void show(const KikDataSetPtr &dataSet, KikChat *chat);
    void clear();
    // How to begin, where to choose, or that the list is empty; follows the sources.
    void refreshEmptyHint();
    // The selected rows as the list shows them, tab-separated, onto the clipboard.
    void copySelection() const;
    // The messages a command of that variant takes; `scope` says where the user stands.
    CommandMessages messagesFor(MessageVariant variant, const CommandScope &scope) const;

private:
    void give(const KikMessageList &messages);
    void rowsSelected(const QItemSelection &selected);
    void sortIndicatorChanged(int logicalIndex, Qt::SortOrder order);

    const WindowPanes &m_panes;
    const ItemModelMain &m_sources;
    MessageListModel *m_model;
    KikBubbleViewMgr *m_bubbles;
    MessageSearch *m_search;
    ConversationTitle *m_title;
    MessageOrderCache m_order;
    KikDataSetPtr m_dataSet;
    KikChat *m_chat = nullptr;
};
