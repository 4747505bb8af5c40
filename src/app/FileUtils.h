#pragma once

#include "app/Export.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QFileDevice;

// Text and file helpers shared by every part of the program.
PARLEWICK_APP_EXPORT QString sanitizeFileName(const QString &name);
// The path, or "Name(1).ext", "Name(2).ext"... beside it: the first name nothing (not even a link)
// has, there nor in any of the folders alsoFreeIn.
PARLEWICK_APP_EXPORT QString uniqueFilePath(const QString &path, const QStringList &alsoFreeIn = {});
// Creates an empty file under that first free name, exclusively, and returns its path; raises
// when the file cannot be made.
PARLEWICK_APP_EXPORT QString createUniqueFile(const QString &path, const QStringList &alsoFreeIn = {});
// Why a file could not be written, in the program's words and naming it: a missing folder or
// a full disk are said so, anything else with the system's reason.
PARLEWICK_APP_EXPORT QString fileWriteProblem(const QFileDevice &file);
// The reason alone ("the disk is full."), for messages that name the file themselves.
PARLEWICK_APP_EXPORT QString fileWriteReason(const QFileDevice &file);
// Copies source into a new file at target, never over one that is there. Raises in the
// program's words when the source cannot be read or the target not made or not written whole
// (a full disk); a part written is removed.
PARLEWICK_APP_EXPORT void copyToNewFileThrow(const QString &source, const QString &target);
PARLEWICK_APP_EXPORT QString escapeHtml(QString &text);         // changes the argument and returns a copy
PARLEWICK_APP_EXPORT QString escapeHtml(const QString &text);   // convenience for temporaries
PARLEWICK_APP_EXPORT QString md5Hex(const QString &text);
PARLEWICK_APP_EXPORT QString md5Hex(const QByteArray &bytes, bool asGuid);
PARLEWICK_APP_EXPORT void removeFolderTree(const QString &path);
// Puts a second name on existing, replacing target at once; false when the file system will
// not (another volume, no hard links), and nothing is left behind then.
PARLEWICK_APP_EXPORT bool linkInPlaceOf(const QString &existing, const QString &target);
PARLEWICK_APP_EXPORT QString styleSheet();   // ":style.css" in the colours of ColourRoles::current()
