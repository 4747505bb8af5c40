#pragma once

#include <QString>

// The per-user data folder and its fixed entries. Paths are absolute; the data-folder
// path is computed once per process and the folder is (re)created on every call.
QString roamingRoot();           // HOME/AppData/Roaming, or the platform's per-user data location
QString roamingBrandFolder();     // roamingRoot()/Talvora (not created)
QString dataFolder();            // base folder joined with the product identifier, created
QString localDatabasesFolder();  // dataFolder()/local_databases, created
QString iosCacheFolder();        // dataFolder()/ios_cache, created
QString logFolder();
// The folder of the running program; its pictures ("kikbb", "emoji", "kikemoji") lie beside it.
QString applicationFolder();             // dataFolder()/qlogs (created by the log handler)

// Works the data-folder path out afresh from the redirect file (dataFolder() keeps its first answer).
QString resolveDataFolderPath();
