#include "cli/ConsoleInteraction.h"

#include "app/AppError.h"
#include "cli/BackupPassword.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "flows/BackupReading.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "kik/AbsKikDb.h"
#include "workers/KikBackupAccounts.h"
#include "workers/UnlockBackupThread.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// One task on the console. A step that others follow ends the workflow on a Ctrl-C that came
// after its success; the last task's success stands, and its text is the command's result.
class ConsoleTask : public FlowTask
{
public:
    explicit ConsoleTask(bool last)
        : m_last(last)
    {
    }
    AbsProgressTarget &target() override { return m_progress; }
    bool run(QThread &worker) override
    {
        const QString success = runTaskThrow(m_progress, worker);
        if (!m_last && m_progress.isCanceled())
            throw CliCanceled();
        if (m_last && !success.isEmpty())
            printOut(success.trimmed());
        return true;
    }

private:
    ConsoleProgress m_progress;
    const bool m_last;
};

}   // namespace

void ConsoleInteraction::requireDone(bool done)
{
    if (!done)
        throw CliCanceled();
}

std::unique_ptr<FlowTask> ConsoleInteraction::task()
{
    return std::make_unique<ConsoleTask>(false);
}

std::unique_ptr<FlowTask> ConsoleInteraction::lastTask()
{
    return std::make_unique<ConsoleTask>(true);
}

QSharedPointer<BackupManifest> ConsoleInteraction::chooseBackup(BackupUse)
{
    if (!QFileInfo(m_backupFolder).isDir())
        failWith(QStringLiteral("The folder %1 does not exist.").arg(m_backupFolder));
    auto backup = QSharedPointer<BackupManifest>::create(m_backupFolder);
    readBackupInfoThrow(*backup);
    return backup;
}

bool ConsoleInteraction::unlockBackup(const QSharedPointer<BackupManifest> &backup, Secret *password)
{
    Secret given = readBackupPasswordThrow(m_args);
    // Seconds of key derivation: on a worker, so that Ctrl-C cancels.
    const std::unique_ptr<FlowTask> unlock = task();
    UnlockBackupThread worker(backup, password ? given.clone() : std::move(given), &unlock->target());
    unlock->run(worker);
    if (!worker.keybag())
        failWith(QObject::tr("IDS_INVALID_PASSWORD"));
    backup->setKeybag(worker.keybag());
    if (password)
        *password = std::move(given);
    return true;
}

QString ConsoleInteraction::chooseKikAccount(const QList<KikAccountSummary> &accounts)
{
    failWith(QStringLiteral("The iTunes backup holds several Kik accounts; choose one with --account NAME (its Kik user "
                            "name, or its id where no name is shown):\n")
             + describeKikAccounts(accounts));
}

bool ConsoleInteraction::confirm(Question question, const QString &text)
{
    if (question == Question::WriteIntoBackup)
        return true;   // naming the backup on the command line is the consent
    printErr(text);
    if (m_args.isSet(QStringLiteral("yes")))
        return true;
    if (isatty(STDIN_FILENO) != 1)
        throw CliUsageError(QStringLiteral("Nothing was changed on the iPhone: add --yes to accept the notes above."));
    // Ctrl-C at the question ends the program at once, as it does at any prompt.
    struct sigaction plain
    { };
    struct sigaction previous
    { };
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    sigaction(SIGINT, &plain, &previous);
    std::fputs("Continue? (y/N) ", stderr);
    std::fflush(stderr);
    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
        line.push_back(char(c));
    sigaction(SIGINT, &previous, nullptr);
    const QString answer = QString::fromLocal8Bit(line.data(), qsizetype(line.size())).trimmed();
    if (answer.compare(QLatin1String("y"), Qt::CaseInsensitive) != 0
        && answer.compare(QLatin1String("yes"), Qt::CaseInsensitive) != 0)
        throw CliCanceled();
    return true;
}

// One writer per backup: a second run waits here, saying so, until the first has ended.
void ConsoleInteraction::acquireWriteLock(BackupWriteLock &lock)
{
    ConsoleProgress waiting;
    lock.acquireThrow([&](bool first) {
        if (first)
            printErr(BackupWriteLock::busyText(QDir(m_backupFolder).absolutePath())
                     + QStringLiteral(" Waiting for it to finish (Ctrl-C stops)..."));
        if (waiting.isCanceled())
            throw CliCanceled();
    });
}

KikDataSetPtr ConsoleInteraction::loadKik(std::unique_ptr<AbsKikDb> store, const QString &)
{
    const KikDataSetPtr data = KikDataSetPtr::create();
    store->load(data);
    return data;
}

void ConsoleInteraction::transferred(int messages, const BackupManifest *backup)
{
    if (backup)
        printOut(QStringLiteral("Successfully transferred %1 messages into the iTunes backup %2.")
                     .arg(messages)
                     .arg(QDir::toNativeSeparators(backup->folder())));
    else
        printOut(QStringLiteral("Successfully transferred %1 messages to iPhone.").arg(messages));
}

void ConsoleInteraction::tell(const QString &text)
{
    printErr(text);
}

void ConsoleInteraction::warn(Warning, const QString &text)
{
    failWith(text);
}

void ConsoleInteraction::mention(const QString &text)
{
    printErr(text);
}
