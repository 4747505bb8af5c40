#pragma once

#include "kik/KikDataSet.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <memory>

class QTemporaryDir;

// The Kik records a command reads, from the one source its command line names:
//   --db NAME      a local database in the data folder
//   --db-path DIR  a local database folder anywhere
//   --kik DIR      a folder holding Documents/kik.sqlite (a copy of Kik's app container)
//   --backup DIR   an iTunes backup; Kik's files go to the program's cache of that backup first
// A folder named on the command line is only read: files the reader writes (pictures taken out
// of attachment descriptions) go to a temporary folder that lives as long as this object.
class CliSource
{
public:
    ~CliSource();
    CliSource(const CliSource &) = delete;
    CliSource &operator=(const CliSource &) = delete;

    // The source options, with --password-file for an encrypted backup.
    static QList<QCommandLineOption> options();
    static QString optionsHelp();   // the lines above, for a command's description

    // Loads the source the options name. Raises CliUsageError unless exactly one is given,
    // std::runtime_error when it cannot be read, CliCanceled on Ctrl-C.
    static std::unique_ptr<CliSource> loadThrow(const QCommandLineParser &args);

    KikDataSetPtr dataSet() const { return m_dataSet; }

private:
    CliSource();

    void loadLocalDbThrow(const QString &folder);
    void loadKikFolderThrow(const QString &root, const QString &thumbsFolder);

    KikDataSetPtr m_dataSet;
    std::unique_ptr<QTemporaryDir> m_scratch;
};

// The folder of the local database NAME in the data folder. NAME is checked as the program's
// database dialog checks it (not empty, none of \ / : * ? " < > | and no line breaks or
// tabs, not "." or ".."): CliUsageError otherwise.
QString localDatabaseFolderThrow(const QString &name);
