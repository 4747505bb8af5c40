#pragma once

#include "app/FileIdentity.h"
#include "workers/Export.h"

#include <QHash>
#include <QString>

// Which copies of Kik's store files in a phone's mirror are still the payloads they were copied
// from. The store is copied, never linked, on every load (SQLite writes the copy in place), and
// for a store of some hundred megabytes that copy costs more than the rest of a second load after
// one new message, which lands in the store's log alone. A copy that neither it nor its payload
// changed since (the same file, size and time of last write on both sides) gets a second name in
// the new mirror instead. The record lives beside the mirror; one that no longer fits only costs
// a copy.
class PARLEWICK_WORKERS_EXPORT KeptStoreCopies
{
public:
    explicit KeptStoreCopies(const QString &appFolder);   // reads what the last load left

    // Links earlierCopy to local (replacing it) when it and payload are as recorded under name.
    bool linkUnchanged(const QString &name, const QString &payload, const QString &earlierCopy, const QString &local);
    void remember(const QString &name, const QString &payload, const QString &copy);
    // Once the new mirror took the old one's place. A record that cannot be written is removed.
    void save() const;

private:
    struct Entry
    {
        FileIdentity payload;
        FileIdentity copy;
    };
    QString m_path;
    QHash<QString, Entry> m_earlier;
    QHash<QString, Entry> m_now;
};
