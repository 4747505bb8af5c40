#pragma once

#include "app/Export.h"

#include <QString>
#include <QtGlobal>

// The 32-bit identifier of the volume the program runs from, as sent with the manual update
// check. On Windows the volume serial number; elsewhere it is read through the storage the
// current folder lies on: the serial number within the file system's UUID (see
// volumeSerialFromUuid) or, without a UUID, its device number. UnknownVolumeSerial when none
// can be read.
inline constexpr quint32 UnknownVolumeSerial = 123456;
PARLEWICK_APP_EXPORT quint32 currentVolumeSerial();

// The serial number Windows reports for a file system UUID as Linux lists it: the whole
// "XXXX-XXXX" of FAT, the low half of NTFS's 16 hex digits, the first 8 hex digits of any
// other UUID. UnknownVolumeSerial when the text holds too few hex digits.
PARLEWICK_APP_EXPORT quint32 volumeSerialFromUuid(const QString &uuid);
