#pragma once

#include "kik/Export.h"
#include "kik/KikEntity.h"

#include <QDateTime>
#include <QList>
#include <QString>

class KikUser;

// One member entry of a group; the user is not owned and may be null.
struct PARLEWICK_KIK_EXPORT KikMember
{
    KikUser *user = nullptr;
    bool is_admin = false;
    bool is_banned = false;
};

// A contact or a group. Users are identified across sources by jid.
class PARLEWICK_KIK_EXPORT KikUser : public KikEntity
{
public:
    QString display_name;
    QString jid;
    QString photo_url;
    QString user_name;
    QString group_tab;
    QDateTime photo_ts;
    bool is_group_admin = false;
    bool is_group = false;
    QList<KikMember> members;
    QString photo_path;
};
