#include "DeviceBackupPlace.h"

#include "app/Preferences.h"

void keepDeviceBackupsIn(const QString &folder)
{
    Preferences preferences = Preferences::load();
    preferences.deviceBackupFolder = folder;
    preferences.save();
}
