#pragma once

#include "cli/ConsoleProgress.h"
#include "flows/FlowInteraction.h"

#include <QCommandLineParser>

// The command-line tool's side of the workflows: what the window asks in dialogs comes from
// the command's options (set by the command before it starts a workflow), what it shows goes to
// the terminal. Passwords are read as readBackupPasswordThrow does. A note the window asks
// about is printed on stderr and needs --yes, or a "y" typed on a terminal (without a terminal
// the command refuses with CliUsageError, any other answer is CliCanceled). A failed task raises
// its error, a Ctrl-C CliCanceled; a Ctrl-C at any moment stops the steps that follow.
class ConsoleInteraction : public FlowInteraction
{
public:
    explicit ConsoleInteraction(const QCommandLineParser &args)
        : m_args(args)
    {
    }

    // A workflow that returned without raising did nothing: the user stopped it.
    static void requireDone(bool done);

    void setBackupFolder(const QString &folder) { m_backupFolder = folder; }
    void setKikAccount(const QString &account) { m_account = account; }
    void setLocalDb(const QString &name) { m_localDb = name; }
    void setExportChoice(const ExportChoice &choice) { m_export = choice; }
    // The Kik data of the phone a workflow read last.
    KikDataSetPtr phoneData() const { return m_phoneData; }

    std::unique_ptr<FlowTask> task() override;
    std::unique_ptr<FlowTask> lastTask() override;
    // Prints the success line as any last task does; exported() adds nothing.
    std::unique_ptr<FlowTask> exportTask() override { return lastTask(); }
    QSharedPointer<BackupManifest> chooseBackup(BackupUse use) override;
    bool unlockBackup(const QSharedPointer<BackupManifest> &backup, Secret *password) override;
    QString givenKikAccount() override { return m_account; }
    QString chooseKikAccount(const QList<KikAccountSummary> &accounts) override;
    QString chooseLocalDb(const QStringList &, const QString &) override { return m_localDb; }
    ExportChoice chooseExport(const QString &) override { return m_export; }
    bool confirm(Question question, const QString &text) override;
    void acquireWriteLock(BackupWriteLock &lock) override;
    KikDataSetPtr loadKik(std::unique_ptr<AbsKikDb> store, const QString &title) override;
    void showPhone(const DeviceDescription &, const KikDataSetPtr &data) override { m_phoneData = data; }
    void phoneWritten(const DeviceDescription &, bool) override { }
    void localDbWritten(const QString &, bool) override { }
    void transferred(int messages, const BackupManifest *backup) override;
    void exported(int, const QString &) override { }
    void tell(const QString &text) override;
    void warn(Warning warning, const QString &text) override;
    void mention(const QString &text) override;

private:
    const QCommandLineParser &m_args;
    // Outlives every task, so that a Ctrl-C between tasks reaches the next one.
    ConsoleProgress m_stretch;
    QString m_backupFolder;
    QString m_account;
    QString m_localDb;
    ExportChoice m_export;
    KikDataSetPtr m_phoneData;
};
