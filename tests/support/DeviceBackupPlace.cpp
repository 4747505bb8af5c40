#include "DeviceBackupPlace.h"

#include "app/Preferences.h"

void keepDeviceBackupsIn(const QString &folder)
{
    Preferences preferences = Preferences::load();
    preferences.deviceBackupFolder = folder;
    preferences.save();
}

DeviceDescription simulatedPhoneDescription(const QString &udid)
{
    DeviceDescription described;
    described.udid = udid;
    described.productVersion = QStringLiteral("17.5");
    return described;
}
