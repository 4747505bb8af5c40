#pragma once

#include "kik/Export.h"
#include "plist/CFType.h"

#include <QMap>
#include <QString>

// Kik's metadata cache keeps one archived dictionary per attachment, in a fixed layout: the
// dictionary is object 1 of "$objects", its n key strings follow as objects 2..n+1 and its n
// values as objects n+2..2n+1.

// The dictionary of the archive at path as texts; values that are not texts read as empty.
// A missing, oversized or malformed file gives an empty map.
PARLEWICK_KIK_EXPORT QMap<QString, QString> readKeyedArchive(const QString &path);

// The metadata archive of one attachment: the template ":res/ios_meta_cache_demo.plist" with
// the content id, application id and file URL put in. Null when the template is unreadable.
PARLEWICK_KIK_EXPORT CFType metadataArchive(const QString &contentId, const QString &appId, const QString &fileUrl);
