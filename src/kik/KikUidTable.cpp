#include "kik/KikUidTable.h"

#include <QHash>

#include <limits>
#include <stdexcept>

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
    if (quint64(messages.size()) >= std::numeric_limits<quint32>::max())
        throw std::runtime_error("Too many messages at once.");
    size_t size = 16;
    while (size < size_t(messages.size()) * 2)
        size *= 2;
    m_slots.resize(size);
}

qint64 KikUidTable::idOf(qsizetype position, const std::function<qint64()> &store)
{
    const QString &uid = m_messages.at(position)->uid;
    const size_t hash = uidHash(uid);
    const quint32 tag = quint32(quint64(hash) >> 32);
    const size_t mask = m_slots.size() - 1;
    // At most half the slots are ever taken, so the probe ends at an empty one.
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (slot.position == 0) {
            slot.id = store();
            slot.tag = tag;
            slot.position = quint32(position + 1);
            return slot.id;
        }
        if (slot.tag == tag && sameUid(m_messages.at(slot.position - 1)->uid, uid))
            return slot.id;
    }
}
