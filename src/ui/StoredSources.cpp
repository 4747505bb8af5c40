#include "ui/StoredSources.h"

#include "app/AppFolders.h"
#include "kik/IOSKikDb.h"
#include "kik/KikLocalDb.h"
#include "kik/LocalDbCatalogue.h"
#include "ui/CommandHost.h"
#include "views/ItemModelMain.h"

#include <QDir>
#include <QFileInfo>

namespace {

void addRememberedDevice(CommandHost &host, const QString &folder)
{
    DeviceDescription description;
    description.deviceName = QFileInfo(folder).fileName();
    description.udid = folder;
    PhoneItemNode *node = host.sources().addDevice(description);
    std::unique_ptr<AbsKikDb> db;
    if (LocalDbCatalogue::holdsDatabase(folder)) {
        db = std::make_unique<KikLocalDb>(folder);
    } else {
        auto store = std::make_unique<IOSKikDb>(folder);
        store->setOpenMode(IOSKikDb::ReadOnlyMode);
        db = std::move(store);
    }
    if (const KikDataSetPtr dataSet = host.loadWithProgress(std::move(db), QObject::tr("IDS_LOADING_IOS_KIK"))) {
        node->dataSet = dataSet;
        host.sources().addChats(node);
    }
}

}   // namespace

void addStoredSources(CommandHost &host)
{
    for (const QString &name : LocalDbCatalogue().names())
        host.sources().addLocalDb(name);
    const QDir root(QDir(dataFolder()).filePath(QStringLiteral("virtual_ios")));
    for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        addRememberedDevice(host, root.filePath(name));
}
