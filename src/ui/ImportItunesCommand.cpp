#include "ui/ImportItunesCommand.h"

#include "app/MessageBoxes.h"
#include "itunes/BackupManifest.h"
#include "kik/IOSKikDb.h"
#include "ui/BackupCommand.h"
#include "ui/MainWindow.h"
#include "ui/ProgressForm.h"
#include "workers/IOSLoadKikFromiTunesThread.h"

#include <stdexcept>

void ImportItunesCommand::run(const QString &proposedName)
{
    if (const QSharedPointer<BackupManifest> backup = m_window.dialogs().chooseBackup())
        importBackup(backup, proposedName);
}

void ImportItunesCommand::importBackup(const QSharedPointer<BackupManifest> &backup, const QString &proposedName)
{
    const QString appFolder = extractKik(backup, QString());
    if (appFolder.isEmpty())
        return;
    importKikFolder(appFolder, QString(), QObject::tr("IDS_LOADING_ITUNES_BACKUP"),
                    proposedName.isEmpty() ? BackupCommand::proposedName(backup->deviceName()) : proposedName);
}

void ImportItunesCommand::importKikFolder(const QString &appFolder, const QString &thumbsFolder, const QString &title,
                                          const QString &proposedName)
{
    auto store = std::make_unique<IOSKikDb>(appFolder, thumbsFolder);
    store->setOpenMode(IOSKikDb::ReadOnlyMode);
    const KikDataSetPtr dataSet = m_window.loadWithProgress(std::move(store), title);
    if (!dataSet)
        return;
    BackupCommand(m_window).backUp({dataSet, dataSet->allMessages()}, proposedName, BackupKikMessagesThread::Wording::Imported);
}

// What one run of the extraction found.
struct ImportItunesCommand::Extraction
{
    bool found = false;
    bool needsAccountChoice = false;
    QList<KikAccountSummary> accounts;
    KikBackupLocation location;
    QString appFolder;
};

QString ImportItunesCommand::extractKik(const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot,
                                        const QString &notFoundText, KikBackupLocation *location, QString *password)
{
    if (backup->encrypted() && !m_window.dialogs().unlockBackup(backup, password))
        return QString();
    try {
        backup->load();
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
        return QString();
    }
    Extraction extraction;
    if (!runExtraction(backup, cacheRoot, QString(), extraction))
        return QString();
    if (extraction.needsAccountChoice) {
        const QString account = m_window.dialogs().chooseKikAccount(extraction.accounts);
        if (account.isEmpty() || !runExtraction(backup, cacheRoot, account, extraction))
            return QString();
    }
    if (!extraction.found) {
        reportError(notFoundText);
        return QString();
    }
    if (location)
        *location = extraction.location;
    return extraction.appFolder;
}

bool ImportItunesCommand::runExtraction(const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot,
                                        const QString &account, Extraction &out)
{
    ProgressForm form(&m_window);
    IOSLoadKikFromiTunesThread worker(backup, &form, cacheRoot);
    worker.setAccount(account);
    if (!runWithProgress(form, worker))
        return false;
    out = {worker.found(), worker.needsAccountChoice(), worker.accounts(), worker.location(), worker.appFolder()};
    return true;
}
