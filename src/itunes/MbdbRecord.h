#pragma once

#include "itunes/Export.h"
#include "itunes/MbdbString.h"

#include <QList>
#include <QPair>

// One file, folder or link of the phone, as Manifest.mbdb or a row of Manifest.db lists it.
struct PARLEWICK_ITUNES_EXPORT MbdbRecord
{
    MbdbString domain;   // "HomeDomain", "AppDomain-com.kik.chat", ...
    MbdbString path;     // inside the domain, "/"-separated, empty for the domain root
    MbdbString linkTarget;
    MbdbString dataHash;        // raw SHA-1 of the content, often empty
    MbdbString encryptionKey;   // class number (4 bytes) + wrapped file key, encrypted backups only
    quint16 mode = 0;
    quint32 inodeHigh = 0;
    quint32 inodeLow = 0;
    quint32 userId = 0;
    quint32 groupId = 0;
    quint32 modificationTime = 0;   // Unix seconds
    quint32 accessTime = 0;
    quint32 changeTime = 0;
    quint64 size = 0;
    quint8 protectionClass = 0;
    QList<QPair<MbdbString, MbdbString>> properties;   // extended attributes
    quint32 birthTime = 0;                             // Manifest.db only: Manifest.mbdb has no place for it

    enum class Kind { File, Folder, Link };
    // What the mode's type bits say; a record without them (written by tools that leave the mode
    // out) by what it holds: a link target makes a link, bytes a file, nothing a folder.
    Kind kind() const
    {
        switch (mode & 0170000) {
        case 0040000:
            return Kind::Folder;
        case 0100000:
            return Kind::File;
        case 0120000:
            return Kind::Link;
        default:
            return !linkTarget.isEmpty() ? Kind::Link : size == 0 ? Kind::Folder : Kind::File;
        }
    }
    bool isFolder() const { return kind() == Kind::Folder; }

    bool operator==(const MbdbRecord &other) const = default;
};
