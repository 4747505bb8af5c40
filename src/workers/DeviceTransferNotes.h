#pragma once

#include "workers/Export.h"

#include <QString>

// What the user must do before messages go into Kik on a phone, shown by the window and printed
// by parlewick-cli (rich text).
// Before any transfer: Kik must not be running, or it writes over the store being replaced.
PARLEWICK_WORKERS_EXPORT QString closeKikFirstNote();
// Before a transfer through a device backup and restore: passcode, iCloud Backup, Find My.
PARLEWICK_WORKERS_EXPORT QString deviceRestoreNotes();
