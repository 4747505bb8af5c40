#include "ui/CommandDialogs.h"

#include "itunes/BackupManifest.h"
#include "ui/DataSourceSelForm.h"
#include "ui/ExportFileDialog.h"
#include "ui/LoadItunesBackupDlg.h"
#include "ui/LocalDbSelForm.h"
#include "ui/PasscodeDlg.h"
#include "workers/KikBackupAccounts.h"

#include <QPointer>

CommandDialogs CommandDialogs::standard(QWidget *parent)
{
    const QPointer<QWidget> owner(parent);
    CommandDialogs dialogs;
    dialogs.chooseBackup = [owner] {
        LoadItunesBackupDlg dialog(owner);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedBackup() : QSharedPointer<BackupManifest>();
    };
    dialogs.chooseBackupToWrite = [owner] {
        LoadItunesBackupDlg dialog(owner);
        dialog.setPurpose(QStringLiteral("Choose the backup to write into"), QStringLiteral("Write"));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedBackup() : QSharedPointer<BackupManifest>();
    };
    dialogs.unlockBackup = [owner](const QSharedPointer<BackupManifest> &backup, Secret *password) {
        PasscodeDlg dialog(backup, owner);
        dialog.setKeepPassword(password != nullptr);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        if (password)
            *password = dialog.takePassword();
        return true;
    };
    dialogs.chooseLocalDb = [owner](const QStringList &existingNames, const QString &proposedName) {
        LocalDbSelForm form(existingNames, proposedName, owner);
        return form.chooseDatabaseName();
    };
    dialogs.chooseExportFile = [owner](const QString &title, const QString &initialPath, const QString &filters,
                                       const QString &what) {
        ExportFileDialog dialog(owner, title, initialPath, filters);
        dialog.setWhat(what);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return ExportChoice();
        return ExportChoice{dialog.selectedFiles().constFirst(), dialog.selectedNameFilter(), dialog.emojiAsCharacters()};
    };
    dialogs.chooseDevice = [owner](const QString &title, const QList<ChoiceEntry> &entries) {
        DataSourceSelForm form(owner);
        return form.chooseEntry(title, entries);
    };
    dialogs.chooseKikAccount = [owner](const QList<KikAccountSummary> &accounts) {
        QList<ChoiceEntry> entries;
        const QStringList lines = describeKikAccounts(accounts).split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < accounts.size(); ++i)
            entries.append({QString(), lines.at(i), const_cast<KikAccountSummary *>(&accounts.at(i))});
        DataSourceSelForm form(owner);
        const auto *chosen = static_cast<const KikAccountSummary *>(
            form.chooseEntry(QStringLiteral("This backup holds several Kik accounts. Choose the one to load:"), entries, true));
        return chosen ? chosen->accountId : QString();
    };
    return dialogs;
}
