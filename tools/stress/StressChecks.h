#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What must hold after any run, finished or killed. Each returns what is wrong, in words; an
// empty list means all is well. counts: the message counts allowed (before, after); *count is
// the one found, -1 when it could not be read.

// A local database folder: a sound database (integrity check) holding one of counts messages;
// no file the database does not reference, no temporary file, in it or beside it (only the
// writer's lock file). A missing database, or a folder without one that holds no file, counts
// as no messages. After a killed run, SQLite's journal may be left too (the next writer removes it).
QStringList localDbProblems(const QString &folder, const QList<qint64> &counts, bool killed, qint64 *count = nullptr);

// An iTunes backup: it loads, every file of its list is there with its size, no file beside
// them that the list does not name, and the program reads one of counts Kik messages out of it.
// After a killed transfer the files it staged may lie beside them (the next one settles them).
QStringList backupProblems(const QString &folder, const QList<qint64> &counts, bool killed, qint64 *count = nullptr);

// Kik messages the program reads out of the backup; -1 with *problem set when it cannot.
qint64 kikMessagesInBackup(const QString &folder, QString *problem);

// An export: the file or folder at path is absent or the same as the one at reference,
// byte for byte, and nothing else lies beside it (after a kill, but the killed run's hidden
// staging folder, which the next export clears).
QStringList exportProblems(const QString &path, const QString &reference, bool killed);
