#include "RecordingInteraction.h"

#include "itunes/BackupWriteLock.h"
#include "kik/AbsKikDb.h"

#include <QThread>

namespace {

class RecordedTask : public FlowTask
{
public:
    RecordedTask(std::unique_ptr<FlowTask> inner, QStringList &steps, const QString &kind)
        : m_inner(std::move(inner))
        , m_steps(steps)
        , m_kind(kind)
    {
    }
    AbsProgressTarget &target() override { return m_inner->target(); }
    bool run(QThread &worker) override
    {
        m_steps << m_kind + QLatin1Char(' ') + QLatin1String(worker.metaObject()->className());
        return m_inner->run(worker);
    }

private:
    std::unique_ptr<FlowTask> m_inner;
    QStringList &m_steps;
    const QString m_kind;
};

const char *questionName(FlowInteraction::Question question)
{
    switch (question) {
    case FlowInteraction::Question::CloseKik:
        return "CloseKik";
    case FlowInteraction::Question::RestoreNotes:
        return "RestoreNotes";
    case FlowInteraction::Question::WriteIntoBackup:
        return "WriteIntoBackup";
    }
    return "?";
}

}   // namespace

std::unique_ptr<FlowTask> RecordingInteraction::recorded(std::unique_ptr<FlowTask> task, const QString &kind)
{
    return std::make_unique<RecordedTask>(std::move(task), m_steps, kind);
}

std::unique_ptr<FlowTask> RecordingInteraction::task()
{
    return recorded(m_inner.task(), QStringLiteral("task"));
}

std::unique_ptr<FlowTask> RecordingInteraction::lastTask()
{
    return recorded(m_inner.lastTask(), QStringLiteral("last task"));
}

std::unique_ptr<FlowTask> RecordingInteraction::exportTask()
{
    return recorded(m_inner.exportTask(), QStringLiteral("export task"));
}

QSharedPointer<BackupManifest> RecordingInteraction::chooseBackup(BackupUse use)
{
    m_steps << (use == BackupUse::Read ? QStringLiteral("choose backup to read") : QStringLiteral("choose backup to write"));
    return m_inner.chooseBackup(use);
}

bool RecordingInteraction::unlockBackup(const QSharedPointer<BackupManifest> &backup, Secret *password)
{
    m_steps << QStringLiteral("unlock backup");
    return m_inner.unlockBackup(backup, password);
}

QString RecordingInteraction::givenKikAccount()
{
    return m_inner.givenKikAccount();
}

QString RecordingInteraction::chooseKikAccount(const QList<KikAccountSummary> &accounts)
{
    m_steps << QStringLiteral("choose account");
    return m_inner.chooseKikAccount(accounts);
}

QString RecordingInteraction::chooseLocalDb(const QStringList &existingNames, const QString &proposedName)
{
    m_steps << QStringLiteral("choose database");
    return m_inner.chooseLocalDb(existingNames, proposedName);
}

ExportChoice RecordingInteraction::chooseExport(const QString &what)
{
    m_steps << QStringLiteral("choose export");
    return m_inner.chooseExport(what);
}

bool RecordingInteraction::confirm(Question question, const QString &text)
{
    m_steps << QStringLiteral("confirm ") + QLatin1String(questionName(question));
    return m_inner.confirm(question, text);
}

void RecordingInteraction::acquireWriteLock(BackupWriteLock &lock)
{
    m_steps << QStringLiteral("lock backup");
    m_inner.acquireWriteLock(lock);
}

KikDataSetPtr RecordingInteraction::loadKik(std::unique_ptr<AbsKikDb> store, const QString &title)
{
    m_steps << QStringLiteral("load Kik");
    return m_inner.loadKik(std::move(store), title);
}

void RecordingInteraction::showPhone(const DeviceDescription &device, const KikDataSetPtr &data)
{
    m_steps << QStringLiteral("show phone");
    m_inner.showPhone(device, data);
}

void RecordingInteraction::phoneWritten(const DeviceDescription &device, bool restarting)
{
    m_steps << (restarting ? QStringLiteral("phone restarts") : QStringLiteral("phone written"));
    // The window reads the phone again: through the front end itself, not this recording.
    m_inner.phoneWritten(device, restarting);
}

void RecordingInteraction::localDbWritten(const QString &storedName, bool succeeded)
{
    m_steps << QStringLiteral("database written %1").arg(succeeded ? "whole" : "not");
    m_inner.localDbWritten(storedName, succeeded);
}

void RecordingInteraction::transferred(int messages, const BackupManifest *backup)
{
    m_steps << (backup ? QStringLiteral("transferred into backup") : QStringLiteral("transferred to phone"));
    m_inner.transferred(messages, backup);
}

void RecordingInteraction::exported(int messages, const QString &path)
{
    m_steps << QStringLiteral("exported");
    m_inner.exported(messages, path);
}

void RecordingInteraction::tell(const QString &text)
{
    m_steps << QStringLiteral("tell");
    m_inner.tell(text);
}

void RecordingInteraction::warn(Warning warning, const QString &text)
{
    m_steps << QStringLiteral("warn");
    m_inner.warn(warning, text);
}

void RecordingInteraction::mention(const QString &text)
{
    m_steps << QStringLiteral("mention");
    m_inner.mention(text);
}
