#pragma once

#include <QMap>

// Puts a record under its key; a record already there is deleted (a later row with the same
// key replaces the earlier one). Rows usually come in key order, so appending is tried first.
template <typename T>
void putRecord(QMap<qint64, T *> &map, qint64 key, T *record)
{
    if (map.isEmpty() || map.lastKey() < key) {
        map.insert(map.cend(), key, record);
        return;
    }
    const auto it = map.find(key);
    if (it == map.end()) {
        map.insert(key, record);
    } else {
        delete it.value();
        it.value() = record;
    }
}
