#pragma once

#include "kik/Export.h"
#include "kik/KikChat.h"
#include "kik/KikMessage.h"
#include "kik/KikRecordMap.h"
#include "kik/KikUser.h"

#include <QList>
#include <QMetaType>
#include <QSharedPointer>

// Owns every record of one loaded source, keyed by the records' id. Cross references
// always point into the same data set. Shared through KikDataSetPtr.
class PARLEWICK_KIK_EXPORT KikDataSet
{
public:
    KikDataSet() = default;
    ~KikDataSet();
    KikDataSet(const KikDataSet &) = delete;
    KikDataSet &operator=(const KikDataSet &) = delete;

    KikRecordMap<KikChat> chats;
    KikRecordMap<KikUser> users;
    KikRecordMap<KikMessage> messages;

    QList<KikChat *> allChats() const;
    KikMessageList allMessages() const;
};

using KikDataSetPtr = QSharedPointer<KikDataSet>;

Q_DECLARE_METATYPE(KikMessageList)
