#pragma once

#include "itunes/Export.h"
#include "itunes/MbdbRecord.h"

#include <QByteArray>

// The `file` blob of a Manifest.db row: a keyed archive (binary property list) of one MBFile
// object whose values refer to further objects by UID.
namespace MbFileArchive {

// Fills rec's times, size, mode, owner, inode, protection class, encryption key, digest and
// link target from the archive; keys it lacks leave their fields as they are. Objects are
// found by following UIDs, so their order and any extra objects do not matter. False when
// blob is no MBFile archive (rec is then untouched).
PARLEWICK_ITUNES_EXPORT bool decode(const QByteArray &blob, MbdbRecord &rec);

// The archive a phone writes for rec, objects in the phone's order. Extended attributes are
// not written.
PARLEWICK_ITUNES_EXPORT QByteArray encode(const MbdbRecord &rec);

}   // namespace MbFileArchive
