#pragma once

#include "flows/FlowInteraction.h"
#include "ui/Export.h"

#include <functional>

class CommandHost;
class ProgressForm;

// The window's side of the workflows: its dialogs (replaceable by tests through
// CommandHost::dialogs), message boxes, the progress dialog, and the tree of sources it updates.
class PARLEWICK_UI_EXPORT WindowInteraction : public FlowInteraction
{
public:
    explicit WindowInteraction(CommandHost &host);
    ~WindowInteraction() override;

    // Runs a workflow; what it raises is shown as an error. False when it did not complete.
    static bool run(const std::function<bool()> &flow);

    std::unique_ptr<FlowTask> task() override;
    std::unique_ptr<FlowTask> lastTask() override;
    std::unique_ptr<FlowTask> exportTask() override;
    QSharedPointer<BackupManifest> chooseBackup(BackupUse use) override;
    bool unlockBackup(const QSharedPointer<BackupManifest> &backup, Secret *password) override;
    QString givenKikAccount() override { return QString(); }
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
    // One box with the count and the place, offering to open its folder.
    void exported(int messages, const QString &path) override;
    void tell(const QString &text) override;
    void warn(Warning warning, const QString &text) override;
    void mention(const QString &text) override;

    // The save dialog's filters, in the order shown, and the kind of export each one asks for.
    static const QStringList &exportFilters();
    static QString kindOfFilter(const QString &filter);

private:
    // One progress dialog for the workflow's steps, open from the first to the last.
    ProgressForm &flowForm();

    CommandHost &m_window;
    std::unique_ptr<ProgressForm> m_flowForm;
    KikDataSetPtr m_shownPhoneData;   // the phone's data this flow showed last (held: never reused)
};
