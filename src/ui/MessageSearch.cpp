#include "ui/MessageSearch.h"

#include "ui/SourceTreeView.h"
#include "ui/WindowPanes.h"
#include "views/MessageListModel.h"
#include "widgets/KikBubbleViewMgr.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

MessageSearch::MessageSearch(const WindowPanes &panes, MessageListModel *messages, KikBubbleViewMgr *bubbles, QObject *parent)
    : QObject(parent)
    , m_keyword(panes.messageKeyword)
    , m_result(panes.searchResult)
    , m_list(panes.messageList)
    , m_messages(messages)
    , m_bubbles(bubbles)
{
    connect(panes.messageSearchButton, &QPushButton::pressed, this, &MessageSearch::next);
    connect(m_keyword, &QLineEdit::returnPressed, this, &MessageSearch::next);
    connect(m_keyword, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text.trimmed().isEmpty())
            find(1);   // drops the marks
    });
}

void MessageSearch::focus()
{
    m_keyword->setFocus(Qt::ShortcutFocusReason);
    m_keyword->selectAll();
}

void MessageSearch::forgetResult()
{
    showResult(QString());
}

void MessageSearch::find(int step)
{
    const QString keyword = m_keyword->text().trimmed();
    m_messages->setHighlight(keyword);
    m_bubbles->setHighlight(keyword);
    if (keyword.isEmpty()) {
        showResult(QString());
        return;
    }
    const KikMessageList &messages = m_messages->messages();
    if (messages.isEmpty()) {
        showResult(QObject::tr("IDS_CAN_NOT_FOUND_AND_MESSAGES"));
        return;
    }
    QList<int> matches;
    for (int row = 0; row < messages.size(); ++row) {
        if (MessageListModel::matches(messages.at(row), keyword))
            matches << row;
    }
    if (matches.isEmpty()) {
        showResult(QObject::tr("IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0").arg(keyword));
        return;
    }
    // From the row after (or before) the current one, wrapping round at the end.
    const QModelIndex current = m_list->currentIndex();
    qsizetype found;
    if (step > 0) {
        const int from = current.isValid() ? current.row() + 1 : 0;
        found = std::lower_bound(matches.cbegin(), matches.cend(), from) - matches.cbegin();
        if (found == matches.size())
            found = 0;
    } else {
        const int before = current.isValid() ? current.row() : int(messages.size());
        found = std::lower_bound(matches.cbegin(), matches.cend(), before) - matches.cbegin() - 1;
        if (found < 0)
            found = matches.size() - 1;
    }
    m_list->setCurrentIndex(m_messages->indexForRow(matches.at(found)));
    showResult(QStringLiteral("%1 of %2").arg(found + 1).arg(matches.size()));
}

void MessageSearch::showResult(const QString &text)
{
    m_result->setText(text);
    m_result->setVisible(!text.isEmpty());
}
