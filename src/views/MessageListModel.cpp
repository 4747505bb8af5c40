#include "views/MessageListModel.h"

#include "app/ClockStyle.h"
#include "app/ColourRoles.h"
#include "kik/KikChat.h"
#include "kik/KikRules.h"
#include "views/ViewIcons.h"

#include <QBrush>
#include <QColor>
#include <QLocale>
#include <QSize>

namespace {
constexpr int ColumnCount = 4;
}

MessageListModel::MessageListModel(QObject *parent)
    : QAbstractItemModel(parent)
{
}

void MessageListModel::setMessages(const KikMessageList &messages)
{
    beginResetModel();
    m_messages = messages;
    endResetModel();
}

void MessageListModel::clear()
{
    beginResetModel();
    m_messages.clear();
    endResetModel();
}

void MessageListModel::setHighlight(const QString &keyword)
{
    if (keyword == m_highlight)
        return;
    m_highlight = keyword;
    if (!m_messages.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_messages.size()) - 1, ColumnCount - 1),
                         {Qt::BackgroundRole, Qt::ForegroundRole});
}

bool MessageListModel::matches(const KikMessage *message, const QString &keyword)
{
    return !keyword.isEmpty() && messageSearchText(message).contains(keyword, Qt::CaseInsensitive);
}

QModelIndex MessageListModel::indexForRow(int row) const
{
    return index(row, 0);
}

KikMessage *MessageListModel::messageOf(const QModelIndex &index)
{
    return index.isValid() ? static_cast<KikMessage *>(index.internalPointer()) : nullptr;
}

QModelIndex MessageListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= m_messages.size() || column < 0 || column >= ColumnCount)
        return QModelIndex();
    return createIndex(row, column, column == 0 ? m_messages.at(row) : nullptr);
}

QModelIndex MessageListModel::parent(const QModelIndex &) const
{
    return QModelIndex();
}

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_messages.size());
}

int MessageListModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_messages.size())
        return QVariant();
    const KikMessage *message = m_messages.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cellText(message, index.column());
    case Qt::DecorationRole:
        if (index.column() != 0)
            return QVariant();
        return resourceViewIcon(message->was_me ? QStringLiteral(":/res/icon_sms-sent.svg")
                                                : QStringLiteral(":/res/icon_sms-receive.svg"));
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        const ColourRoles roles = ColourRoles::current();
        const ColourPair &pair = matches(message, m_highlight) ? roles.match : message->was_me ? roles.sent : roles.received;
        return QBrush(role == Qt::BackgroundRole ? pair.background : pair.text);
    }
    case Qt::SizeHintRole:
        return QSize(0, 23);
    default:
        return QVariant();
    }
}

QString MessageListModel::cellText(const KikMessage *message, int column)
{
    switch (column) {
    case 0:
        return shortMessageTime(message->ts.toLocalTime());
    case 1:
        return message->was_me ? QStringLiteral("To") : QStringLiteral("From");
    case 2:
        if (message->target_user)
            return userDisplayName(message->target_user);
        if (message->chat && message->chat->user)
            return userDisplayName(message->chat->user);
        return QStringLiteral("Unknown");
    case 3:
        // Emoji as the characters they are (the list, Ctrl+C); the colour emoji font draws them.
        return messageDisplayText(message, EmojiStyle::Characters);
    default:
        return QString();
    }
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const titles[ColumnCount] = {"Date", "Flag", "Contact", "Content"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QVariant();
    return QString::fromLatin1(titles[section]);
}
