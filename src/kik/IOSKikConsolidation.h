#pragma once

#include "kik/Export.h"

#include <QList>

class IOSKikDb;

// The pass that follows a merge into Kik's store: per chat, messages are numbered 0..n-1 in
// display order (ZINTERNALID) and the newest becomes the chat's last message (ZLASTMESSAGE,
// ZLASTMESSAGECHAT, ZCHATEXTRA, ZLASTSEENMESSAGE, ZDATEUPDATED); the Z_MAX counters follow the
// tables; the three message indexes are rebuilt and the file is compacted.
class PARLEWICK_KIK_EXPORT IOSKikConsolidation
{
public:
    explicit IOSKikConsolidation(IOSKikDb &db)
        : m_db(db)
    {
    }

    void run();

private:
    struct Row
    {
        qint64 message = 0;
        double timestamp = 0;
        qint64 chat = 0;
        qint64 extra = 0;
    };

    QList<Row> readRows();
    void renumberChat(QList<Row>::iterator first, QList<Row>::iterator last);
    void updateCounters();
    void dropIndexes();
    void createIndexes();
    bool indexExists(const char *name);

    IOSKikDb &m_db;
};
