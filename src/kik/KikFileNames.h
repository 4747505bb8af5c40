#pragma once

#include "kik/Export.h"

#include <QString>

// Names that come from a phone, a backup or a database (content ids, picture names) are used
// as file names only when they are plain names: no folder separators, not "." or "..", no
// NUL. Anything else could reach outside the folder it is joined to.
PARLEWICK_KIK_EXPORT bool isPlainFileName(const QString &name);

// folder + "/" + name when name is a plain file name, else an empty string.
PARLEWICK_KIK_EXPORT QString fileInFolder(const QString &folder, const QString &name);
