#pragma once

#include "device/DeviceDescription.h"

#include <QString>

// Device backups of the test's phones go into folder, as the user's choice in Preferences
// (which a program started by the test reads too).
void keepDeviceBackupsIn(const QString &folder);

// How the program describes a simulated phone of the given UDID (iOS 17.5, as the simulated
// phones are unless told otherwise).
DeviceDescription simulatedPhoneDescription(const QString &udid);
