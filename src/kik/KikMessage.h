#pragma once

#include "kik/Export.h"
#include "kik/KikEntity.h"
#include "kik/SparseString.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantHash>

class KikUser;
class KikChat;

// One message. Messages are identified across sources by uid. References are not owned.
class PARLEWICK_KIK_EXPORT KikMessage : public KikEntity
{
public:
    qint64 internal_id = 0;
    QDateTime ts;
    QDateTime rec_ts;
    QString uid;
    bool was_me = false;
    QString body;
    QString content_id;
    QString app_id;
    QString sub_app_id;
    QByteArray render_ins;
    QVariantHash attachment;
    KikUser *target_user = nullptr;
    KikChat *chat = nullptr;
    SparseString preview_path;
    SparseString png_preview_path;
    SparseString icon_path;
    SparseString content_path;
};

using KikMessageList = QList<KikMessage *>;
