#pragma once

#include "kik/Export.h"
#include "kik/KikEntity.h"
#include "kik/KikMessage.h"

#include <QDateTime>

class KikUser;

// A conversation with one user or group; chats are identified across sources by their user.
class PARLEWICK_KIK_EXPORT KikChat : public KikEntity
{
public:
    QDateTime last_ts;
    KikUser *user = nullptr;
    KikMessageList messages;
};
