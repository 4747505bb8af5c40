#include "flows/ImportFromBackup.h"

#include "flows/BackupReading.h"
#include "flows/FlowInteraction.h"
#include "flows/LocalDbBackup.h"
#include "itunes/BackupManifest.h"
#include "kik/IOSKikDb.h"

bool ImportFromBackup::run(const QString &proposedName)
{
    const QSharedPointer<BackupManifest> backup = m_interaction.chooseBackup(FlowInteraction::BackupUse::Read);
    return backup && importBackup(backup, proposedName);
}

bool ImportFromBackup::importBackup(const QSharedPointer<BackupManifest> &backup, const QString &proposedName)
{
    KikExtraction kik;
    if (!openAndExtractKik(m_interaction, backup, QString(), kikNotFoundText(), &kik))
        return false;
    return importKikFolder(kik.appFolder, QString(), QObject::tr("IDS_LOADING_ITUNES_BACKUP"),
                           proposedName.isEmpty() ? proposedLocalDbName(backup->deviceName()) : proposedName);
}

bool ImportFromBackup::importKikFolder(const QString &appFolder, const QString &thumbsFolder, const QString &title,
                                       const QString &proposedName)
{
    auto store = std::make_unique<IOSKikDb>(appFolder, thumbsFolder);
    store->setOpenMode(IOSKikDb::ReadOnlyMode);
    const KikDataSetPtr data = m_interaction.loadKik(std::move(store), title);
    return data && backUpIntoLocalDb(m_interaction, data->allMessages(), proposedName, m_wording);
}
