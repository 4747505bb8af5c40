#pragma once

#include "kik/Export.h"
#include "kik/KikMessage.h"

#include <functional>
#include <vector>

// The uids of a sequence of messages, each with the id under which its first message was
// stored, and which of them name one message: a uid that is not empty and that no other
// message record of the sequence carries. Uids are compared as the database compares them, by
// their UTF-8 form.
// An open-addressing table sized for the whole sequence at the start, 8 bytes a slot and two
// slots a message, beside each message's slot and the ids by position: nothing is allocated per
// message met, and the part looked up at random stays small. Made for going through the
// sequence in order: what the next messages need is fetched from memory meanwhile.
class PARLEWICK_KIK_EXPORT KikUidTable
{
public:
    // Reads every uid once. The sequence must outlive the table.
    explicit KikUidTable(const KikMessageList &messages);

    // The message's uid names it alone (the same record may come more than once).
    bool namesOneMessage(qsizetype position) const;

    // The id remembered for the uid of the message at position; when there is none yet,
    // store() gives it (never 0) and it is remembered.
    qint64 idOf(qsizetype position, const std::function<qint64()> &store);

private:
    struct Slot
    {
        quint32 tag = 0;             // more bits of the hash, to pass over most other uids unread
        quint32 position : 31 = 0;   // of the first message with the uid, plus one; 0: empty
        quint32 shared : 1 = 0;      // other records carry the uid too
    };

    struct Ahead
    {
        qsizetype position = -1;
        size_t hash = 0;
    };
    static constexpr qsizetype Stage = 8;   // messages between the stages of fetching ahead

    size_t hashOf(qsizetype position);
    quint32 slotOf(qsizetype position);

    const KikMessageList &m_messages;
    std::vector<Slot> m_slots;
    std::vector<quint32> m_slotOf;   // by position
    std::vector<qint64> m_ids;       // by position, of the first messages of their uids; 0: none yet
    Ahead m_ahead[Stage];            // hashes of the next messages
};
