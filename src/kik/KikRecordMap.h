#pragma once

#include <QList>
#include <QtGlobal>

#include <algorithm>

// Records of one kind keyed by their id, kept as two sorted arrays: 16 bytes a record where a
// node-based map takes about 64, which counts when a million messages are loaded. Rows mostly
// arrive in id order, so inserting is usually an append. Iterating yields the records in id
// order. The map does not own the records.
template <typename T>
class KikRecordMap
{
public:
    using const_iterator = typename QList<T *>::const_iterator;

    qsizetype size() const { return m_records.size(); }
    bool isEmpty() const { return m_records.isEmpty(); }
    bool contains(qint64 key) const { return indexOf(key) >= 0; }

    T *value(qint64 key) const
    {
        const qsizetype index = indexOf(key);
        return index >= 0 ? m_records.at(index) : nullptr;
    }

    // Puts record under key; returns the record it replaced there, or null.
    T *insert(qint64 key, T *record)
    {
        if (m_keys.isEmpty() || m_keys.last() < key) {
            m_keys.append(key);
            m_records.append(record);
            return nullptr;
        }
        const auto at = std::lower_bound(m_keys.cbegin(), m_keys.cend(), key);
        const qsizetype index = at - m_keys.cbegin();
        if (at != m_keys.cend() && *at == key)
            return std::exchange(m_records[index], record);
        m_keys.insert(index, key);
        m_records.insert(index, record);
        return nullptr;
    }

    // Shared, not copied: taking the list costs nothing until one side changes.
    const QList<T *> &values() const { return m_records; }
    const_iterator begin() const { return m_records.cbegin(); }
    const_iterator end() const { return m_records.cend(); }

private:
    qsizetype indexOf(qint64 key) const
    {
        const auto at = std::lower_bound(m_keys.cbegin(), m_keys.cend(), key);
        return at != m_keys.cend() && *at == key ? at - m_keys.cbegin() : -1;
    }

    QList<qint64> m_keys;
    QList<T *> m_records;
};

// For the owner of the records: puts a record under its key and deletes the one it replaces
// (a later row with the same key replaces the earlier one).
template <typename T>
void putRecord(KikRecordMap<T> &map, qint64 key, T *record)
{
    delete map.insert(key, record);
}
