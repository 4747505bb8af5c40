#pragma once

#include "itunes/Export.h"

#include <QByteArray>

namespace MbFileArchive {

// The archive of a row whose file got new content: Size, LastModified and, when the archive
// has one, Digest take the new values; every other key and object (extended attributes, the
// encryption key, objects of unknown kinds) stays as it was. Empty when blob is no MBFile archive.
PARLEWICK_ITUNES_EXPORT QByteArray withNewContent(const QByteArray &blob, quint64 size, quint32 lastModified,
                                                  const QByteArray &digest);

}   // namespace MbFileArchive
