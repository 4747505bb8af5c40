#pragma once

#include "kik/KikMessage.h"

#include <functional>
#include <vector>

// The uids met so far in a sequence of messages, each with the id under which its first
// message was stored. Uids are compared as the database compares them, by their UTF-8 form.
// An open-addressing table sized for the whole sequence at the start: 16 bytes a slot, two
// slots a message, and no memory taken per message met.
class KikUidTable
{
public:
    // The sequence must outlive the table.
    explicit KikUidTable(const KikMessageList &messages);

    // The id remembered for the uid of the message at position; when there is none yet,
    // store() gives it (a positive id) and it is remembered.
    qint64 idOf(qsizetype position, const std::function<qint64()> &store);

private:
    struct Slot
    {
        qint64 id = 0;
        quint32 tag = 0;        // more bits of the hash, to pass over most other uids unread
        quint32 position = 0;   // of the first message with the uid, plus one; 0: empty
    };

    const KikMessageList &m_messages;
    std::vector<Slot> m_slots;
};
