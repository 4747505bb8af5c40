#pragma once

#include <QtGlobal>

// The 32-bit identifier of the volume the program runs from, as sent with the manual update
// check. On Windows the volume serial number; elsewhere it is derived from the file system's
// UUID (whose first eight hex digits are the serial number itself on FAT and NTFS) or, without
// one, from its device number. UnknownVolumeSerial when none can be read.
inline constexpr quint32 UnknownVolumeSerial = 123456;
quint32 currentVolumeSerial();
