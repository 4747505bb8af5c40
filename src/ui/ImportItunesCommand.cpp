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
    const QSharedPointer<BackupManifest> backup = m_window.dialogs().chooseBackup();
    if (!backup)
        return;
    const QString appFolder = extractKik(backup, QString());
    if (appFolder.isEmpty())
        return;

    auto store = std::make_unique<IOSKikDb>(appFolder);
    store->setOpenMode(IOSKikDb::ReadOnlyMode);
    const KikDataSetPtr dataSet = m_window.loadWithProgress(std::move(store), QObject::tr("IDS_LOADING_ITUNES_BACKUP"));
    if (!dataSet)
        return;
    const QString proposed =
        proposedName.isEmpty() ? BackupCommand::proposedName(backup->deviceName()) : proposedName;
    BackupCommand(m_window).backUp({dataSet, dataSet->allMessages()}, proposed);
}

QString ImportItunesCommand::extractKik(const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot,
                                        const QString &notFoundText)
{
    if (backup->encrypted() && !m_window.dialogs().unlockBackup(backup))
        return QString();
    try {
        backup->load();
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
        return QString();
    }
    ProgressForm form(&m_window);
    IOSLoadKikFromiTunesThread extraction(backup, &form, cacheRoot);
    if (!runWithProgress(form, extraction))
        return QString();
    if (!extraction.found()) {
        reportError(notFoundText);
        return QString();
    }
    return extraction.appFolder();
}
