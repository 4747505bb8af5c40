#include "StressTrials.h"

#include "StressChecks.h"

#include "app/AppFolders.h"
#include "app/FileUtils.h"
#include "kik/KikLocalDbLock.h"
#include "workers/ExportTarget.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <random>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

void copyTreeThrow(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(file));
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(file, target))
            fail(QStringLiteral("can not copy %1 to %2").arg(file, target));
    }
}

// A database and its writer's lock go after a trial, so that trials do not fill the disk.
void removeDatabase(const QString &folder)
{
    removeFolderTree(folder);
    QFile::remove(KikLocalDbLock::lockPathFor(folder));
}

QStringList importArguments(const QString &source, const QString &name)
{
    return {QStringLiteral("import"), QStringLiteral("--kik"), source, QStringLiteral("--into"), name};
}

QString ended(const KilledRun &run)
{
    return QStringLiteral("exit code %1: %2").arg(run.exitCode).arg(run.err.trimmed());
}

qint64 messagesIn(const QString &databaseFolder)
{
    qint64 count = -1;
    localDbProblems(databaseFolder, {}, false, &count);
    return count;
}

}   // namespace

StressTrials::StressTrials(const StressBench &bench)
    : m_bench(bench)
    , m_databases(localDatabasesFolder())
{
    QDir().mkpath(QDir(m_bench.work).filePath(QStringLiteral("tmp")));
    const auto wholeRun = [](const KilledRun &run) { return Whole{run.changes, run.ms}; };

    m_importNew = wholeRun(runThrow(importArguments(m_bench.source, QStringLiteral("whole-new")), m_databases));
    m_sourceCount = messagesIn(QDir(m_databases).filePath(QStringLiteral("whole-new")));
    runThrow(importArguments(m_bench.otherSource, QStringLiteral("whole-more")));
    m_otherCount = messagesIn(QDir(m_databases).filePath(QStringLiteral("whole-more")));
    m_importMore = wholeRun(runThrow(importArguments(m_bench.source, QStringLiteral("whole-more")), m_databases));
    m_bothCount = messagesIn(QDir(m_databases).filePath(QStringLiteral("whole-more")));
    removeDatabase(QDir(m_databases).filePath(QStringLiteral("whole-more")));

    m_exportKinds = {QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("html")};
    for (const QString &kind : std::as_const(m_exportKinds)) {
        const QString folder = QDir(m_bench.work).filePath(QStringLiteral("whole-export-") + kind);
        QDir().mkpath(folder);
        const QString out = QDir(folder).filePath(QStringLiteral("out"));
        m_export[kind] = wholeRun(runThrow({QStringLiteral("export"), QStringLiteral("--db"), QStringLiteral("whole-new"),
                                            QStringLiteral("--format"), kind, QStringLiteral("--out"), out},
                                           folder));
        m_exportReference[kind] = ExportTarget::forChosenPath(out, kind).path;
    }

    QString unreadable;
    m_backupBefore = kikMessagesInBackup(m_bench.backup, &unreadable);
    if (m_backupBefore < 0)
        fail(unreadable);
    const QString copy = QDir(m_bench.work).filePath(QStringLiteral("whole-transfer"));
    copyTreeThrow(m_bench.backup, copy);
    m_transfer = wholeRun(runThrow(transferArguments(m_bench.source, copy), copy));
    m_backupAfter = kikMessagesInBackup(copy, &unreadable);
    if (m_backupAfter <= m_backupBefore)
        fail(QStringLiteral("the transfer added nothing to the backup: %1").arg(unreadable));
    runThrow(transferArguments(m_bench.thirdSource, copy));
    m_backupBoth = kikMessagesInBackup(copy, &unreadable);
    if (m_backupBoth <= m_backupAfter)
        fail(QStringLiteral("the second transfer added nothing to the backup: %1").arg(unreadable));
    removeFolderTree(copy);
}

KilledRun StressTrials::run(const QStringList &arguments, const KillPlan &plan)
{
    return runWithKill(m_bench.cli, arguments, plan, runEnvironment());
}

// Caches of the runs stay inside the trials' folder; home, when given, is a data folder and
// cache other than the trials' own.
QProcessEnvironment StressTrials::runEnvironment(const QString &home) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), QDir(m_bench.work).filePath(QStringLiteral("tmp")));
    if (!home.isEmpty()) {
        QDir().mkpath(home);
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), QDir(home).filePath(QStringLiteral(".local/share")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir(home).filePath(QStringLiteral(".config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), QDir(home).filePath(QStringLiteral(".cache")));
    }
    return environment;
}

QStringList StressTrials::transferArguments(const QString &source, const QString &backup) const
{
    return {QStringLiteral("transfer"), QStringLiteral("--kik"), source, QStringLiteral("--to-backup"), backup};
}

KilledRun StressTrials::runThrow(const QStringList &arguments, const QString &watched)
{
    KillPlan plan;
    plan.watched = watched;
    const KilledRun done = run(arguments, plan);
    if (done.exitCode != 0)
        fail(QStringLiteral("parlewick-cli %1 failed, %2").arg(arguments.join(QLatin1Char(' ')), ended(done)));
    return done;
}

KillPlan StressTrials::planFor(quint32 seed, KillAt at, const Whole &whole, const QString &watched)
{
    std::mt19937 random(seed);
    KillPlan plan;
    plan.watched = watched;
    if (at == KillAt::Change)
        plan.atChange = 1 + int(random() % quint32(qMax(1, whole.changes)));
    else
        plan.afterMs = int(random() % quint32(whole.ms + whole.ms / 10 + 1));
    return plan;
}

void StressTrials::noteRun(const KilledRun &run, const KillPlan &plan, const Whole &whole)
{
    const QString moment = plan.atChange >= 0 ? QStringLiteral("change %1 of %2").arg(plan.atChange).arg(whole.changes)
                                              : QStringLiteral("%1 of %2 ms").arg(plan.afterMs).arg(whole.ms);
    m_lastRun = run.killed ? QStringLiteral("killed at ") + moment
                           : QStringLiteral("ended before the kill at %1 (%2)").arg(moment, ended(run));
}

QString StressTrials::trialFolder(const QString &kind, quint32 seed) const
{
    const QString folder = QDir(m_bench.work).filePath(QStringLiteral("%1-%2").arg(kind).arg(seed));
    removeFolderTree(folder);
    QDir().mkpath(folder);
    return folder;
}

QStringList StressTrials::importTrial(quint32 seed, KillAt at)
{
    const QString name = QStringLiteral("import-%1").arg(seed);
    const QString folder = QDir(m_databases).filePath(name);
    removeDatabase(folder);
    const bool holdsMessages = seed % 2 == 1;
    if (holdsMessages)
        runThrow(importArguments(m_bench.otherSource, name));
    const qint64 before = holdsMessages ? m_otherCount : 0;
    const qint64 after = holdsMessages ? m_bothCount : m_sourceCount;
    const Whole &whole = holdsMessages ? m_importMore : m_importNew;

    const KillPlan plan = planFor(seed, at, whole, m_databases);
    const KilledRun killed = run(importArguments(m_bench.source, name), plan);
    noteRun(killed, plan, whole);
    QStringList problems = localDbProblems(folder, {before, after}, killed.killed);
    if (!killed.killed && killed.exitCode != 0)
        problems << QStringLiteral("the import failed: ") + ended(killed);

    problems += nextImportProblems(name, after);
    if (problems.isEmpty())
        removeDatabase(folder);
    return problems;
}

QStringList StressTrials::nextImportProblems(const QString &name, qint64 count)
{
    const QString folder = QDir(m_databases).filePath(name);
    QStringList problems;
    const KilledRun next = run(importArguments(m_bench.source, name), KillPlan());
    if (next.exitCode != 0)
        problems << QStringLiteral("the next import failed: ") + ended(next);
    for (const QString &problem : localDbProblems(folder, {count}, false))
        problems << QStringLiteral("after the next import: ") + problem;
    return problems;
}

QStringList StressTrials::exportTrial(quint32 seed, KillAt at)
{
    const QString kind = m_exportKinds.at(int(seed % quint32(m_exportKinds.size())));
    const QString folder = trialFolder(QStringLiteral("export"), seed);
    const QString chosen = QDir(folder).filePath(QStringLiteral("out"));
    const QString out = ExportTarget::forChosenPath(chosen, kind).path;
    const QStringList arguments{QStringLiteral("export"),
                                QStringLiteral("--db"),
                                QStringLiteral("whole-new"),
                                QStringLiteral("--format"),
                                kind,
                                QStringLiteral("--out"),
                                chosen};

    const KillPlan plan = planFor(seed, at, m_export[kind], folder);
    const KilledRun killed = run(arguments, plan);
    noteRun(killed, plan, m_export[kind]);
    m_lastRun += QStringLiteral(", ") + kind;
    QStringList problems = exportProblems(out, m_exportReference[kind], killed.killed);
    if (!killed.killed && killed.exitCode != 0)
        problems << QStringLiteral("the export failed: ") + ended(killed);

    // A folder already there keeps its files, and a second export adds its own beside them:
    // the whole export is expected only where the killed one left none.
    const bool leftNothing = !QFileInfo::exists(out);
    const KilledRun next = run(arguments, KillPlan());
    if (next.exitCode != 0)
        problems << QStringLiteral("the next export failed: ") + ended(next);
    else if (leftNothing || !QFileInfo(out).isDir())
        for (const QString &problem : exportProblems(out, m_exportReference[kind], false))
            problems << QStringLiteral("after the next export: ") + problem;
    if (problems.isEmpty())
        removeFolderTree(folder);
    return problems;
}

QStringList StressTrials::transferTrial(quint32 seed, KillAt at)
{
    const QString folder = trialFolder(QStringLiteral("transfer"), seed);
    const QString backup = QDir(folder).filePath(QStringLiteral("backup"));
    copyTreeThrow(m_bench.backup, backup);
    return killedTransferProblems(folder, backup, planFor(seed, at, m_transfer, backup));
}

QStringList StressTrials::commitTrial(quint32 seed)
{
    const QString folder = trialFolder(QStringLiteral("commit"), seed);
    const QString backup = QDir(folder).filePath(QStringLiteral("backup"));
    copyTreeThrow(m_bench.backup, backup);
    // The steps of the commit, each told by the name it changes, at their first change and, for
    // the many payloads, at one drawn from the seed.
    struct Step
    {
        const char *name;
        int change;
    };
    std::mt19937 random(seed);
    const int payload = 1 + int(random() % 400);
    const Step steps[] = {{"^\\.parlewick-writer\\.lock$", 1},       // the lock taken
                          {"\\.parlewick-part$", 1},                 // the first staged copy
                          {"^Manifest\\.db\\.parlewick-part$", 1},   // the new list staged
                          {"^\\.parlewick-added", 1},                // the added files listed
                          {"\\.parlewick-old$", 1},                  // the first second name
                          {"^[0-9a-f]{40}$", 1},                     // the first file moved
                          {"^[0-9a-f]{40}$", payload},               // a later one
                          {"^Manifest\\.db$", 1},                    // the list moved: the commit
                          {"\\.parlewick-old$", payload},            // second names going
                          {"^Manifest\\.db\\.parlewick-old$", 2},    // the last of them gone
                          {"^\\.parlewick-writer\\.lock$", 4}};      // the lock let go
    const Step &step = steps[(seed - 1) % (sizeof steps / sizeof steps[0])];
    KillPlan plan;
    plan.watched = backup;
    plan.namePattern = QLatin1String(step.name);
    plan.atChange = step.change;
    const QStringList problems = killedTransferProblems(folder, backup, plan);
    m_lastRun += QStringLiteral(" (change %1 of names %2)").arg(step.change).arg(plan.namePattern);
    return problems;
}

QStringList StressTrials::killedTransferProblems(const QString &folder, const QString &backup, const KillPlan &plan)
{
    const QStringList arguments = transferArguments(m_bench.source, backup);
    const KilledRun killed = run(arguments, plan);
    noteRun(killed, plan, m_transfer);
    QStringList problems = backupProblems(backup, {m_backupBefore, m_backupAfter}, killed.killed);
    if (!killed.killed && killed.exitCode != 0)
        problems << QStringLiteral("the transfer failed: ") + ended(killed);

    const KilledRun next = run(arguments, KillPlan());
    if (next.exitCode != 0)
        problems << QStringLiteral("the next transfer failed: ") + ended(next);
    for (const QString &problem : backupProblems(backup, {m_backupAfter}, false))
        problems << QStringLiteral("after the next transfer: ") + problem;
    if (problems.isEmpty())
        removeFolderTree(folder);
    return problems;
}

QStringList StressTrials::concurrentTrial(quint32 seed, bool twoHomes)
{
    const QString folder = trialFolder(twoHomes ? QStringLiteral("homes") : QStringLiteral("concurrent"), seed);
    const QString backup = QDir(folder).filePath(QStringLiteral("backup"));
    copyTreeThrow(m_bench.backup, backup);
    std::mt19937 random(seed);
    const int startAfterMs = int(random() % quint32(m_transfer.ms + 1));

    QProcess first, second;
    first.setProcessEnvironment(runEnvironment());
    second.setProcessEnvironment(runEnvironment(twoHomes ? QDir(folder).filePath(QStringLiteral("home")) : QString()));
    first.start(m_bench.cli, transferArguments(m_bench.source, backup));
    first.waitForStarted();
    first.waitForFinished(startAfterMs);
    second.start(m_bench.cli, transferArguments(m_bench.thirdSource, backup));
    m_lastRun = QStringLiteral("the second started after %1 of %2 ms%3")
                    .arg(startAfterMs)
                    .arg(m_transfer.ms)
                    .arg(twoHomes ? QStringLiteral(", from another data folder") : QString());
    QStringList problems;
    for (QProcess *process : {&first, &second}) {
        process->waitForFinished(-1);
        const QString err = QString::fromUtf8(process->readAllStandardError()).trimmed();
        // The second waits for the first: both must succeed.
        if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0)
            problems << QStringLiteral("a transfer failed, exit code %1: %2").arg(process->exitCode()).arg(err);
    }
    problems += backupProblems(backup, {m_backupBoth}, false);
    if (problems.isEmpty())
        removeFolderTree(folder);
    return problems;
}

QStringList StressTrials::writersTrial(quint32 seed)
{
    const QString name = QStringLiteral("writers-%1").arg(seed);
    const QString folder = QDir(m_databases).filePath(name);
    removeDatabase(folder);
    std::mt19937 random(seed);
    // The second starts at once, or at a change of the first's: while it makes the database,
    // fills it or commits.
    const int startAt = int(random() % quint32(m_importNew.changes / 2 + 1));

    QProcess first, second;
    for (QProcess *process : {&first, &second})
        process->setProcessEnvironment(runEnvironment());
    {
        ChangeWatch watch(m_databases);
        first.start(m_bench.cli, importArguments(m_bench.source, name));
        first.waitForStarted();
        int changes = 0;
        while (changes < startAt && first.state() != QProcess::NotRunning && !first.waitForFinished(1))
            changes += watch.takeChanges(1);
        second.start(m_bench.cli, importArguments(m_bench.source, name));
    }
    m_lastRun = QStringLiteral("the second started at change %1 of %2").arg(startAt).arg(m_importNew.changes);
    QStringList problems;
    for (QProcess *process : {&first, &second}) {
        process->waitForFinished(-1);
        const QString err = QString::fromUtf8(process->readAllStandardError()).trimmed();
        // A writer waits for the other; saying that the database is in use is fine too.
        if (process->exitStatus() != QProcess::NormalExit || (process->exitCode() != 0 && !err.contains(QLatin1String("in use"))))
            problems << QStringLiteral("a writer failed, exit code %1: %2").arg(process->exitCode()).arg(err);
    }
    problems += localDbProblems(folder, {m_sourceCount}, false);
    problems += nextImportProblems(name, m_sourceCount);
    if (problems.isEmpty())
        removeDatabase(folder);
    return problems;
}
