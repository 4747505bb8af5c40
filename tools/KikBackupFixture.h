#pragma once

#include <QString>
#include <QStringList>

class ItunesBackupBuilder;

// Where a backup keeps Kik's files: older phones in the app's own container
// (AppDomain-com.kik.chat/Documents), newer ones in the App Group container, one folder per
// account (AppDomainGroup-group.com.kik.chat/cores/private/<account id>).
enum class KikFixturePlace { Documents, Group };

// An account id of the form Kik uses (32 lower-case hex digits), made from a number.
QString kikFixtureAccountId(int number);

// Adds the Kik container mirror at mirrorRoot (its "Documents" folder: kik.sqlite and its side
// files and folders) to the backup in the given place; accountId names the account folder in
// the group place and is ignored in the other.
void addKikToBackup(ItunesBackupBuilder &builder, const QString &mirrorRoot, KikFixturePlace place,
                    const QString &accountId = QString());

// Adds count received messages to the first chat of the Kik store at storePath that exist only
// in its write-ahead log: afterwards storePath is unchanged and storePath-wal holds them, as
// on a phone that had not checkpointed yet. Returns their stanza ids. Throws std::runtime_error.
QStringList addWalOnlyMessages(const QString &storePath, int count);
