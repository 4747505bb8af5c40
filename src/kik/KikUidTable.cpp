#include "kik/KikUidTable.h"

#include "app/AppError.h"

#include <QHash>

#include <limits>

namespace {

// UTF-8 has no form for a lone surrogate: the conversion puts a replacement in its place, so
// uids with one can be one uid to the database. They are rare and compared converted.
bool hasSurrogate(const QString &text)
{
    for (const QChar c : text) {
        if (c.isSurrogate())
            return true;
    }
    return false;
}

// Seeded per process: uids from a hostile store cannot be chosen to pile up in one place.
size_t uidHash(const QString &uid)
{
    const size_t seed = QHashSeed::globalSeed();
    return hasSurrogate(uid) ? qHash(QString::fromUtf8(uid.toUtf8()), seed) : qHash(uid, seed);
}

bool sameUid(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    return (hasSurrogate(a) || hasSurrogate(b)) && a.toUtf8() == b.toUtf8();
}

}

KikUidTable::KikUidTable(const KikMessageList &messages)
    : m_messages(messages)
{
    if (quint64(messages.size()) >= std::numeric_limits<quint32>::max() / 2)
        failWith(QStringLiteral("Too many messages at once."));
    size_t size = 16;
    while (size < size_t(messages.size()) * 2)
        size *= 2;
    m_slots.resize(size);
    m_ids.resize(size_t(messages.size()));
    m_slotOf.resize(size_t(messages.size()));
    for (qsizetype position = 0; position < messages.size(); ++position)
        m_slotOf[size_t(position)] = slotOf(position);
}

// Looking up uids one after another, each waits on memory three times: for the message, for
// its uid's text and for the slot. These are fetched ahead in stages instead, each reading
// only what an earlier stage fetched, so that all is at hand when the message's turn comes.
size_t KikUidTable::hashOf(qsizetype position)
{
    // The entry of this message is the one of the message a stage on.
    Ahead &entry = m_ahead[size_t(position % Stage)];
    const size_t hash = entry.position == position ? entry.hash : uidHash(m_messages.at(position)->uid);
    const auto message = [this](qsizetype at) { return at < m_messages.size() ? m_messages.at(at) : nullptr; };
    if (const KikMessage *far = message(position + 3 * Stage))
        __builtin_prefetch(&far->uid);
    if (const KikMessage *nearer = message(position + 2 * Stage))
        __builtin_prefetch(nearer->uid.constData());
    if (const KikMessage *next = message(position + Stage)) {
        entry = {position + Stage, uidHash(next->uid)};
        __builtin_prefetch(&m_slots[entry.hash & (m_slots.size() - 1)]);
    }
    return hash;
}

// The slot of the message's uid, taken for it when the uid is new.
quint32 KikUidTable::slotOf(qsizetype position)
{
    const KikMessage *message = m_messages.at(position);
    const size_t hash = hashOf(position);
    const quint32 tag = quint32(quint64(hash) >> 32);
    const size_t mask = m_slots.size() - 1;
    // At most half the slots are ever taken, so the probe ends at an empty one.
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (slot.position == 0) {
            slot.tag = tag;
            slot.position = quint32(position + 1);
            return quint32(i);
        }
        const KikMessage *first = m_messages.at(slot.position - 1);
        if (slot.tag == tag && sameUid(first->uid, message->uid)) {
            if (first != message)
                slot.shared = 1;
            return quint32(i);
        }
    }
}

bool KikUidTable::namesOneMessage(qsizetype position) const
{
    return !m_messages.at(position)->uid.isEmpty() && !m_slots[m_slotOf[size_t(position)]].shared;
}

qint64 KikUidTable::idOf(qsizetype position, const std::function<qint64()> &store)
{
    const qsizetype ahead = position + Stage;
    if (ahead < m_messages.size())
        __builtin_prefetch(&m_slots[m_slotOf[size_t(ahead)]]);
    qint64 &id = m_ids[m_slots[m_slotOf[size_t(position)]].position - 1];
    if (id == 0)
        id = store();
    return id;
}
