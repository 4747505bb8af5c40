#pragma once

#include <QCommandLineParser>
#include <QSharedPointer>
#include <QString>

class BackupManifest;
struct KikBackupLocation;

// Opens the iTunes backup in folder: its metadata, the password of an encrypted one (asked
// the way readBackupPasswordThrow does; a wrong one raises "Invalid password."), its file list.
// *password, when given, receives the password that unlocked it (empty for a plain backup).
QSharedPointer<BackupManifest> openBackupThrow(const QString &folder, const QCommandLineParser &args,
                                               QString *password = nullptr);

// Copies Kik's files out of the backup into cacheRoot/com.kik.chat (an empty cacheRoot is the
// program's own cache of that backup) behind the console progress, and returns that folder.
// account picks one of several Kik accounts; *location, when given, is where the backup keeps
// the store that was read. Raises when the backup holds no Kik store, no such account, or
// several accounts and none was picked (the text lists them); Ctrl-C raises CliCanceled.
QString extractKikThrow(const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot = QString(),
                        const QString &account = QString(), KikBackupLocation *location = nullptr);

// The --account option of the commands that read a backup.
QCommandLineOption accountOption();
