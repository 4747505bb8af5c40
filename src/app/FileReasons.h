#pragma once

#include "app/Export.h"

#include <QString>

// Why a file operation failed, said in the program's words, for messages that otherwise would
// only say that something "cannot" be done.

// The reason for a system error number: the common ones in the program's words ("the disk is
// full."), others with the system's text. Ends in a full stop.
PARLEWICK_APP_EXPORT QString systemErrorReason(int error, const QString &folder = QString());

// Why the folder at path (with its parents) could not be made; call it after a failed attempt.
PARLEWICK_APP_EXPORT QString folderCreationReason(const QString &path);

// Makes the folder with its parents; raises AppError ("Cannot create the folder PATH:
// reason") when it cannot.
PARLEWICK_APP_EXPORT void makeFolderThrow(const QString &path);

// Renames from into to (replacing an entry there as rename(2) does); raises AppError
// ("Cannot move FROM to TO: reason") when it cannot.
PARLEWICK_APP_EXPORT void renameThrow(const QString &from, const QString &to);
