#pragma once

#include "ui/Export.h"

#include <QObject>

class KikBubbleViewMgr;
class MessageListModel;
class QLabel;
class QLineEdit;
class QPushButton;
class SourceTreeView;
struct WindowPanes;

// The search box over the message list: Enter, the button and F3 go to the next message holding
// the words, Shift+F3 to the one before, wrapping round; the list and the bubbles mark them and
// a line tells where the search stands ("3 of 17") or that nothing was found.
class PARLEWICK_UI_EXPORT MessageSearch : public QObject
{
    Q_OBJECT
public:
    MessageSearch(const WindowPanes &panes, MessageListModel *messages, KikBubbleViewMgr *bubbles, QObject *parent);

    void next() { find(1); }
    void previous() { find(-1); }
    // Ctrl+F: the box takes the keys, its text selected.
    void focus();
    // A count of another list would mislead.
    void forgetResult();

private:
    // Goes to the next (step 1) or previous (step -1) message matching the search box.
    void find(int step);
    void showResult(const QString &text);

    QLineEdit *m_keyword;
    QLabel *m_result;
    SourceTreeView *m_list;
    MessageListModel *m_messages;
    KikBubbleViewMgr *m_bubbles;
};
