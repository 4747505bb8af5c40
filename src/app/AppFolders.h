#pragma once

#include <QString>

// The per-user data folder and its fixed entries. Paths are absolute; the data-folder
// path is computed once per process and the folder is (re)created on every call.
QString roamingRoot();            // HOME/AppData/Roaming, or the platform's per-user data location
QString roamingBrandFolder();     // roamingRoot()/Talvora (not created)
QString dataFolder();             // base folder joined with the product identifier, created
QString localDatabasesFolder();   // dataFolder()/local_databases, created
QString iosCacheFolder();         // dataFolder()/ios_cache, created owner-only
QString logFolder();              // dataFolder()/qlogs (created by the log handler)
// Where the program's pictures ("kikbb", "emoji", "kikemoji") lie: beside the program in a
// build folder, else in ../share/parlewick of an installed one.
QString applicationFolder();

// Works the data-folder path out afresh from the redirect file (dataFolder() keeps its first answer).
QString resolveDataFolderPath();
