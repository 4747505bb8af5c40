#pragma once

#include "kik/KikDataSet.h"

#include <QDateTime>
#include <QList>
#include <QString>

// Fills a KikDataSet in memory the way a database reader would: ids, cross references,
// chat message lists and last times. For tests and benchmarks.
class KikDataBuilder
{
public:
    explicit KikDataBuilder(KikDataSet &set)
        : m_set(set)
    {
    }

    KikUser *addUser(const QString &displayName, const QString &jid = QString());
    KikUser *addGroup(const QString &displayName, const QList<KikUser *> &members);
    KikChat *addChat(KikUser *user);
    // sender: the message's target user (the author of a received group message).
    KikMessage *addMessage(KikChat *chat, const QDateTime &ts, const QString &body, bool wasMe, KikUser *sender = nullptr);
    // A message that belongs to no chat.
    KikMessage *addLooseMessage(const QDateTime &ts, const QString &body);

    // A picture message (gallery) whose preview is the given file.
    KikMessage *addPicture(KikChat *chat, const QDateTime &ts, const QString &previewPath, bool wasMe, KikUser *sender = nullptr);

private:
    qint64 nextId() { return m_nextId++; }

    KikDataSet &m_set;
    qint64 m_nextId = 1;
};

// A data set of `chats` chats (every fourth a group) holding `messages` messages one minute
// apart, with texts of every kind the exports must keep intact: commas, quotes, line breaks,
// emoji, long lines, cards and pictures. The same seed gives the same data.
KikDataSetPtr generateKikData(int chats, qint64 messages, quint32 seed = 1);
