#pragma once

#include "app/Export.h"

// Removes the working folders that runs which have ended left in the private cache (a run
// killed before it could: decrypted file lists, mirrors of a backup's Kik files). A folder
// names the process that made it; one whose process still runs is kept, whatever it is. Called
// when the window or any command of parlewick-cli starts.
PARLEWICK_APP_EXPORT void removeLeftWorkFolders();
