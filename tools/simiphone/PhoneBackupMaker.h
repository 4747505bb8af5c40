#pragma once

#include "simiphone/SimPhoneFolder.h"

#include <QString>

// The backup a phone sends, made into a folder of its own: every app container as
// "AppDomain-<bundle id>" and every App Group container as "AppDomainGroup-<group id>" (without
// tmp and Library/Caches, which phones leave out), Manifest.plist with the phone's lockdown
// values and apps, Status.plist, the file list and the payloads; encrypted when the phone has
// a backup password. Info.plist is the computer's to write and is not made. Throws
// std::runtime_error.
void makePhoneBackup(const SimPhoneFolder &phone, const QString &folder);
