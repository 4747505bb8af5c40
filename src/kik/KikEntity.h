#pragma once

#include "kik/Export.h"

#include <QByteArray>
#include <QtGlobal>

// Base of the Kik records: the row id in the database a record came from, and the opaque
// extra data carried unchanged between databases.
class PARLEWICK_KIK_EXPORT KikEntity
{
public:
    virtual ~KikEntity() = default;

    QByteArray other;
    qint64 id = 0;
};
