#pragma once

#include "app/Export.h"

#include <QString>

// The per-user data folder and its fixed entries. Paths are absolute; the data-folder
// path is computed once per process and the folder is (re)created on every call.
PARLEWICK_APP_EXPORT QString roamingRoot();            // HOME/AppData/Roaming, or the platform's per-user data location
PARLEWICK_APP_EXPORT QString roamingBrandFolder();     // roamingRoot()/Talvora (not created)
PARLEWICK_APP_EXPORT QString dataFolder();             // base folder joined with the product identifier, created
PARLEWICK_APP_EXPORT QString localDatabasesFolder();   // dataFolder()/local_databases, created
PARLEWICK_APP_EXPORT QString iosCacheFolder();         // dataFolder()/ios_cache, created owner-only
PARLEWICK_APP_EXPORT QString logFolder();              // dataFolder()/qlogs (created by the log handler)
// Where the program's pictures ("kikbb", "emoji", "kikemoji") lie: beside the program in a
// build folder, else in ../share/parlewick of an installed one.
PARLEWICK_APP_EXPORT QString applicationFolder();

// Works the data-folder path out afresh from the redirect file (dataFolder() keeps its first answer).
PARLEWICK_APP_EXPORT QString resolveDataFolderPath();
