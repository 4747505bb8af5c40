#pragma once

#include "app/Export.h"

#include <QString>

#include <memory>

class QTemporaryDir;

// The program's private cache: mirrors of backups (a decrypted store among them), pictures of
// Kik folders, copies opened in other programs and working copies. It lies in the user's cache
// folder (XDG_CACHE_HOME or ~/.cache, on Windows the local application data), never in the
// shared temporary folder: there others can plant links, and a stale TMPDIR would put the
// cache in the current folder, which can be the source being read.
//
// Every folder handed out is the user's own and owner-only (0700): a folder owned by someone
// else, a link or a file in its place is refused with a message, never followed.

// The path of the cache folder, or of a folder in it; nothing is created or checked.
PARLEWICK_APP_EXPORT QString privateCachePath(const QString &name = QString());
// The same, created (owner-only) and checked; raises when it cannot be made or is not the user's.
PARLEWICK_APP_EXPORT QString privateCacheFolderThrow(const QString &name = QString());
// A new, empty working folder in the cache, removed with everything in it when the object goes.
PARLEWICK_APP_EXPORT std::unique_ptr<QTemporaryDir> privateTemporaryFolderThrow();
// Makes path (its parent must exist) a folder only the user can enter, or checks that it is one.
PARLEWICK_APP_EXPORT void ensurePrivateFolderThrow(const QString &path);
