#pragma once

#include "kikstore/KikStoreGenerator.h"

#include <QMap>
#include <QString>

class SimPhoneFolder;

// A simulated phone of today whose Kik store lives in the first account folder of Kik's App
// Group container (Kik from the App Store: its container is not served over USB).
GeneratedKikStore putKikInGroupContainer(const SimPhoneFolder &phone, const KikStoreOptions &options, const QString &workFolder);
// Kik's App Group identifier.
QString kikGroupId();
// kik.sqlite where Kik keeps it on the phone: in that account folder when the phone has Kik's
// group, else in the Documents of Kik's container; empty without Kik.
QString kikStorePath(const SimPhoneFolder &phone);

// Stanza id -> how often, of the messages Kik shows (types 1 and 2) in a Kik store; *integrity
// receives what integrity_check said ("ok").
QMap<QString, int> shownMessageUids(const QString &storePath, QString *integrity);
