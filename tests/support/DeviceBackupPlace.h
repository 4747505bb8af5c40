#pragma once

#include <QString>

// Device backups of the test's phones go into folder, as the user's choice in Preferences
// (which a program started by the test reads too).
void keepDeviceBackupsIn(const QString &folder);
