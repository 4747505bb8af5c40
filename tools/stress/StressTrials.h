#pragma once

#include "StressKill.h"

#include <QString>
#include <QStringList>

// The inputs of the trials, made by the fixture tools.
struct StressBench
{
    QString cli;           // parlewick-cli
    QString work;          // scratch folder of the trials
    QString source;        // a Kik folder (Documents/kik.sqlite) that is imported and transferred
    QString otherSource;   // the Kik folder inside backup; imported first where a database has messages before
    QString backup;        // an iTunes backup holding otherSource; trials write into copies of it
    QString thirdSource;   // a Kik folder of other messages, transferred beside source at once
};

enum class KillAt { Change, Delay };

// Sudden death and races with parlewick-cli. Each trial kills one run at a moment drawn from
// its seed (a change the run makes, or a delay), checks what the run left, runs the task again
// to its end and checks that too. A trial returns what went wrong; empty when all held.
// The data folder of the runs is the caller's (HOME and the XDG folders as they are set).
class StressTrials
{
public:
    // Runs each task once to its end: the message counts before and after, and the changes and
    // time of a whole run. Throws std::runtime_error when that fails.
    explicit StressTrials(const StressBench &bench);

    // Import into a new database, or into one holding other messages.
    QStringList importTrial(quint32 seed, KillAt at);
    // Export of a local database as text, CSV or HTML.
    QStringList exportTrial(quint32 seed, KillAt at);
    // Transfer into a copy of the backup.
    QStringList transferTrial(quint32 seed, KillAt at);
    // Two imports into the same new database, the second started at a change of the first.
    QStringList writersTrial(quint32 seed);
    // Transfer into a copy of the backup killed at one step of its commit, told by the names the
    // step changes: trial n at step n (counted round), so that a series kills at every step.
    QStringList commitTrial(quint32 seed);
    // Two transfers of different messages into one copy of the backup, the second started at a
    // moment of the first drawn from the seed; both must succeed and the backup hold both's
    // messages. With twoHomes the second runs from a data folder and cache of its own.
    QStringList concurrentTrial(quint32 seed, bool twoHomes);

    // What the last trial did, in words ("killed at change 120 of 800").
    QString lastRun() const { return m_lastRun; }

private:
    struct Whole
    {
        int changes = 0;
        qint64 ms = 0;
    };

    KilledRun runThrow(const QStringList &arguments, const QString &watched = QString());
    KilledRun run(const QStringList &arguments, const KillPlan &plan);
    QProcessEnvironment runEnvironment(const QString &home = QString()) const;
    QStringList transferArguments(const QString &source, const QString &backup) const;
    // A killed transfer's backup checked, then the transfer run again and the backup checked.
    QStringList killedTransferProblems(const QString &folder, const QString &backup, const KillPlan &plan);
    KillPlan planFor(quint32 seed, KillAt at, const Whole &whole, const QString &watched);
    void noteRun(const KilledRun &run, const KillPlan &plan, const Whole &whole);
    QString trialFolder(const QString &kind, quint32 seed) const;
    // The import of source into database name run again to its end, which must then hold count messages.
    QStringList nextImportProblems(const QString &name, qint64 count);

    StressBench m_bench;
    QString m_databases;        // the data folder's local databases
    qint64 m_sourceCount = 0;   // messages of source in a new database
    qint64 m_otherCount = 0;    // of otherSource
    qint64 m_bothCount = 0;     // of otherSource, then source
    Whole m_importNew, m_importMore;
    QStringList m_exportKinds;
    QHash<QString, QString> m_exportReference;   // kind -> the whole export
    QHash<QString, Whole> m_export;
    qint64 m_backupBefore = 0;
    qint64 m_backupAfter = 0;
    qint64 m_backupBoth = 0;   // after source and thirdSource
    Whole m_transfer;
    QString m_lastRun;
};
