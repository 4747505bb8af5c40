#pragma once

#include "app/Export.h"

#include <QString>

// Which file a path names and in what state: device, inode, size and the time of its last
// write. A file replaced under the name (a rename) or written in place no longer matches; a
// second name linked to it or taken away (which changes only its status time) still does.
struct PARLEWICK_APP_EXPORT FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0;

    // Of the file itself, never of a link's target; an empty identity when there is none.
    static FileIdentity of(const QString &path);
    bool exists() const { return size >= 0; }
    bool operator==(const FileIdentity &other) const = default;
};
