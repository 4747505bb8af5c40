#pragma once

#include "flows/FlowInteraction.h"

#include <QStringList>

// Hands every question and report of a workflow on to a front end's interaction and notes each
// in order ("confirm CloseKik", "task IOSRestoreKikMsgThread", ...), so that tests compare the
// steps the window and the command-line tool take through the same workflow.
class RecordingInteraction : public FlowInteraction
{
public:
    explicit RecordingInteraction(FlowInteraction &inner)
        : m_inner(inner)
    {
    }

    const QStringList &steps() const { return m_steps; }

    std::unique_ptr<FlowTask> task() override;
    std::unique_ptr<FlowTask> lastTask() override;
    std::unique_ptr<FlowTask> exportTask() override;
    QSharedPointer<BackupManifest> chooseBackup(BackupUse use) override;
    bool unlockBackup(const QSharedPointer<BackupManifest> &backup, Secret *password) override;
    QString givenKikAccount() override;
    QString chooseKikAccount(const QList<KikAccountSummary> &accounts) override;
    QString chooseLocalDb(const QStringList &existingNames, const QString &proposedName) override;
    ExportChoice chooseExport(const QString &what) override;
    bool confirm(Question question, const QString &text) override;
    void acquireWriteLock(BackupWriteLock &lock) override;
    KikDataSetPtr loadKik(std::unique_ptr<AbsKikDb> store, const QString &title) override;
    void showPhone(const DeviceDescription &device, const KikDataSetPtr &data) override;
    void phoneWritten(const DeviceDescription &device, bool restarting) override;
    void localDbWritten(const QString &storedName, bool succeeded) override;
    void transferred(int messages, const BackupManifest *backup) override;
    void exported(int messages, const QString &path) override;
    void tell(const QString &text) override;
    void warn(Warning warning, const QString &text) override;
    void mention(const QString &text) override;

private:
    std::unique_ptr<FlowTask> recorded(std::unique_ptr<FlowTask> task, const QString &kind);

    FlowInteraction &m_inner;
    QStringList m_steps;
};
