#pragma once

#include <QByteArray>
#include <QHash>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// Counts the changes made in a folder tree (files or folders created, written, moved or
// removed), of names matching namePattern when one is given; folders made meanwhile are
// watched too.
class ChangeWatch
{
public:
    explicit ChangeWatch(const QString &root, const QString &namePattern = QString());   // an empty root watches nothing
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch &) = delete;
    ChangeWatch &operator=(const ChangeWatch &) = delete;

    // Changes that arrived since the last call; waits up to waitMs for the first.
    int takeChanges(int waitMs);

private:
    void add(const QString &folder);

    int m_fd = -1;
    QHash<int, QString> m_folders;
    QRegularExpression m_names;
};

// When to end a run with SIGKILL: after a delay, or at the n-th change the run makes in a
// folder tree, or never. Changes are counted, not timed, so a kill at a change lands at the
// same place of the work on any machine, give or take what the run does before the signal
// arrives.
struct KillPlan
{
    int afterMs = -1;
    int atChange = -1;
    QString watched;       // the folder tree whose changes are counted
    QString namePattern;   // only changes of names matching it, when set
};

struct KilledRun
{
    bool killed = false;   // ended by the kill, not by itself
    int exitCode = -1;     // when it ended by itself
    int changes = 0;       // changes seen in the watched tree
    qint64 ms = 0;         // how long it ran
    QByteArray out;
    QString err;
};

// Runs program to its end or to the kill the plan asks for.
KilledRun runWithKill(const QString &program, const QStringList &arguments, const KillPlan &plan,
                      const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
