#include "ui/CommandDialogs.h"

#include "itunes/BackupManifest.h"
#include "itunes/LoadItunesBackupDlg.h"
#include "itunes/PasscodeDlg.h"
#include "ui/DataSourceSelForm.h"
#include "ui/LocalDbSelForm.h"

#include <QFileDialog>
#include <QPointer>

CommandDialogs CommandDialogs::standard(QWidget *parent)
{
    const QPointer<QWidget> owner(parent);
    CommandDialogs dialogs;
    dialogs.chooseBackup = [owner] {
        LoadItunesBackupDlg dialog(owner);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedBackup() : QSharedPointer<BackupManifest>();
    };
    dialogs.unlockBackup = [owner](const QSharedPointer<BackupManifest> &backup) {
        PasscodeDlg dialog(backup, owner);
        return dialog.exec() == QDialog::Accepted;
    };
    dialogs.chooseLocalDb = [owner](const QStringList &existingNames, const QString &proposedName) {
        LocalDbSelForm form(existingNames, proposedName, owner);
        return form.chooseDatabaseName();
    };
    dialogs.chooseSaveFile = [owner](const QString &title, const QString &initialPath, const QString &filters,
                                     QString *selectedFilter) {
        return QFileDialog::getSaveFileName(owner, title, initialPath, filters, selectedFilter);
    };
    dialogs.chooseDevice = [owner](const QString &title, const QList<ChoiceEntry> &entries) {
        DataSourceSelForm form(owner);
        return form.chooseEntry(title, entries);
    };
    return dialogs;
}
