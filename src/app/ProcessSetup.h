#pragma once

#include "app/Export.h"
#include "app/Secret.h"

// What both programs do first. SIGXFSZ is ignored, so that a write past a file size limit fails
// (EFBIG, "the file is too large for this disk or limit") instead of ending the program without
// a word. The backup password is taken out of the environment (takeEnvironmentBackupPassword),
// so that no program started later, such as the backup tool, inherits it.
PARLEWICK_APP_EXPORT void prepareProcess();

// PARLEWICK_BACKUP_PASSWORD, removed from the environment and kept in memory: the value it had
// when last seen (set anew since, it is taken again); empty when it was never set. Each call
// gives a copy of its own.
PARLEWICK_APP_EXPORT Secret takeEnvironmentBackupPassword();
