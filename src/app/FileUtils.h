#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QFileDevice;

// Text and file helpers shared by every part of the program.
QString sanitizeFileName(const QString &name);
// The path, or "Name(1).ext", "Name(2).ext"... beside it: the first name nothing (not even a link)
// has, there nor in any of the folders alsoFreeIn.
QString uniqueFilePath(const QString &path, const QStringList &alsoFreeIn = {});
// Creates an empty file under that first free name, exclusively, and returns its path; raises
// when the file cannot be made.
QString createUniqueFile(const QString &path, const QStringList &alsoFreeIn = {});
// Why a file could not be written, in the program's words and naming it: a missing folder or
// a full disk are said so, anything else with the system's reason.
QString fileWriteProblem(const QFileDevice &file);
// The reason alone ("the disk is full."), for messages that name the file themselves.
QString fileWriteReason(const QFileDevice &file);
// Copies source into a new file at target, never over one that is there. Raises in the
// program's words when the source cannot be read or the target not made or not written whole
// (a full disk); a part written is removed.
void copyToNewFileThrow(const QString &source, const QString &target);
QString escapeHtml(QString &text);         // changes the argument and returns a copy
QString escapeHtml(const QString &text);   // convenience for temporaries
QString md5Hex(const QString &text);
QString md5Hex(const QByteArray &bytes, bool asGuid);
void removeFolderTree(const QString &path);
// Puts a second name on existing, replacing target at once; false when the file system will
// not (another volume, no hard links), and nothing is left behind then.
bool linkInPlaceOf(const QString &existing, const QString &target);
QString styleSheet();   // ":style.css" in the colours of ColourRoles::current()
