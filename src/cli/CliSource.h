#pragma once

#include "kik/KikDataSet.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

// The Kik records a command reads, from the one source its command line names:
//   --db NAME      a local database in the data folder
//   --db-path DIR  a local database folder anywhere
//   --kik DIR      a folder holding Documents/kik.sqlite (a copy of Kik's app container)
//   --backup DIR   an iTunes backup; Kik's files go to the program's cache of that backup first
//   --device UDID  a connected iPhone; Kik's files go to the program's cache of that phone first
// A folder named on the command line is only read, never written.
class CliSource
{
    static void checkThrow(const QCommandLineParser &args, QLatin1StringView accountOption);

public:
    // The source options, with --password-file for an encrypted backup.
    static QList<QCommandLineOption> options();
    static QString optionsHelp();   // the lines above, for a command's description

    // Loads the source the options name. Pictures the reader takes out of attachment
    // descriptions go to a cache folder of the program's, never into the source folder.
    // Raises CliUsageError unless exactly one source is given, AppError when it
    // cannot be read, CliCanceled on Ctrl-C.
    static KikDataSetPtr loadThrow(const QCommandLineParser &args);
    // The same, with the backup's account named by another option (a command whose --account
    // means something else).
    static KikDataSetPtr loadWithAccountOptionThrow(const QCommandLineParser &args, QLatin1StringView accountOption);

    // The iTunes backup folder the options name as the source; empty for another source. Raises
    // as loadThrow does when the options name no single source.
    static QString backupFolderThrow(const QCommandLineParser &args);

    // The chats whose node label or Kik address is name, ignoring case; raises
    // AppError when there is none.
    static QList<KikChat *> chatsNamedThrow(const KikDataSet &data, const QString &name);
};

// The --account option of the commands that read a backup.
QCommandLineOption accountOption();

// The folder of the local database NAME in the data folder. NAME is checked as the program's
// database dialog checks it (not empty, none of \ / : * ? " < > | and no line breaks or
// tabs, not "." or ".."): CliUsageError otherwise. An existing database whose name differs only
// in case is that database.
QString localDatabaseFolderThrow(const QString &name);
