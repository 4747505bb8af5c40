#pragma once

#include "kik/KikMessage.h"

#include <functional>
#include <vector>

// The uids met so far in a sequence of messages, each with the id under which its first
// message was stored. Uids are compared as the database compares them, by their UTF-8 form.
// An open-addressing table sized for the whole sequence at the start, 8 bytes a slot and two
// slots a message, beside the ids by position: nothing is allocated per message met, and the
// part looked up at random stays small. Made for going through the sequence in order: what
// the next messages need is fetched from memory meanwhile.
class KikUidTable
{
public:
    // The sequence must outlive the table.
    explicit KikUidTable(const KikMessageList &messages);

    // The id remembered for the uid of the message at position; when there is none yet,
    // store() gives it and it is remembered.
    qint64 idOf(qsizetype position, const std::function<qint64()> &store);

private:
    struct Slot
    {
        quint32 tag = 0;        // more bits of the hash, to pass over most other uids unread
        quint32 position = 0;   // of the first message with the uid, plus one; 0: empty
    };

    struct Ahead
    {
        qsizetype position = -1;
        size_t hash = 0;
    };
    static constexpr qsizetype Stage = 8;   // messages between the stages of fetching ahead

    size_t hashOf(qsizetype position);

    const KikMessageList &m_messages;
    std::vector<Slot> m_slots;
    std::vector<qint64> m_ids;   // by position, of the first messages of their uids
    Ahead m_ahead[Stage];        // hashes of the next messages
};
