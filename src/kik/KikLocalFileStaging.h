#pragma once

#include "kik/Export.h"

#include <QString>

// The files a backup run copies into a local database's folders ("thumbs", "prof", "files") go
// in with its commit: they are copied into a staging folder inside the database folder and moved
// into place once the transaction is committed, so that a run killed on the way leaves no copy
// the database does not name. A staging folder is renamed ".committed-…" before its files move,
// so that the next run can tell a committed one (its files are moved on) from one whose run died
// before the commit (it is removed). Used only under the database's writer lock (KikLocalDbLock).
class PARLEWICK_KIK_EXPORT KikLocalFileStaging
{
public:
    explicit KikLocalFileStaging(const QString &databaseFolder);
    ~KikLocalFileStaging();   // discards what was not published
    KikLocalFileStaging(const KikLocalFileStaging &) = delete;
    KikLocalFileStaging &operator=(const KikLocalFileStaging &) = delete;

    // Finishes what earlier runs left in the database folder, as described above.
    static void sweep(const QString &databaseFolder);

    // Stages a copy of source as folder/name (folder: one of the database's three) unless a file
    // (or a link) has that name there already or is staged under it; a missing source is passed
    // over. name comes from the source's records: only a plain file name is used.
    void copy(const QString &source, const QString &folder, const QString &name);
    // After the commit: the copies go into place, never over a file; the staging folder goes.
    void publish();
    // Without a commit: the copies and the staging folder go.
    void discard();

private:
    QString m_databaseFolder;
    QString m_staging;   // made with the first copy
};
