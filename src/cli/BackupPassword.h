#pragma once

#include "app/Secret.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

// The option every command that opens an encrypted backup declares. Passwords never come
// from the command line itself, where other users could read them.
QCommandLineOption passwordFileOption();

// The backup password from, in this order: the file named by --password-file (one trailing
// line break dropped), the environment variable PARLEWICK_BACKUP_PASSWORD (taken out of the
// environment at start-up, see prepareProcess), a prompt without echo when stdin is a
// terminal. Raises CliUsageError when none of them gives one, and AppError when the
// file cannot be read.
Secret readBackupPasswordThrow(const QCommandLineParser &args);
