#pragma once

#include <QString>

// Device backups are made in a folder named "__talvora_iosbk_temp" at a root the program
// chose once and remembers in "__talvora_iosbk_temp.path" in the data folder.
inline constexpr char TempBackupFolderName[] = "__talvora_iosbk_temp";
inline constexpr char TempBackupRootFileName[] = "__talvora_iosbk_temp.path";

// The folder below the remembered root; empty when no root is remembered.
QString rememberedTempBackupFolder();
// Removes that folder with everything in it, and forgets the root. Only a folder of that
// fixed name is ever removed, whatever the remembered text says.
void clearTempBackupFolder();
