#pragma once

#include "workers/Export.h"
#include "workers/IOSFileItem.h"

#include <QDateTime>
#include <QList>
#include <QString>

class BackupManifest;
class BackupFileNode;

// One place in an iTunes backup that holds Kik's store. Older phones keep it in the app's own
// container ("AppDomain-com.kik.chat", folder "Documents"); newer ones in the App Group
// container, one folder per account ("AppDomainGroup-group.com.kik.chat", folder
// "cores/private/<account id>"). Either folder has the layout of the mirror's "Documents":
// kik.sqlite with its -wal and -shm, attachments, content_manager, profpix.
struct PARLEWICK_WORKERS_EXPORT KikBackupLocation
{
    static constexpr char DocumentsAccount[] = "Documents";   // the id of the app container's place

    QString accountId;                        // 32 hex digits, or DocumentsAccount
    const BackupFileNode *folder = nullptr;   // the node whose children are kik.sqlite ...
    QString domain;                           // the backup domain
    QString path;                             // the folder's path inside the domain
};

// What one account's store holds, shown when the user picks an account.
struct PARLEWICK_WORKERS_EXPORT KikAccountSummary
{
    QString accountId;
    qint64 messages = 0;   // received and sent messages; -1 when the store can not be read
    QDateTime newest;      // the newest message's time; invalid when there is none
    QString problem;       // why the store can not be read (plain text)
    QString userName;      // the account's Kik user name and display name, when the store says
    QString displayName;
};

// Every place in the loaded backup whose folder lists kik.sqlite, the app container first,
// then the accounts in the order of their ids. The app container's Documents without a store
// is listed only when there is no other place. Folders under cores/private whose names are
// not account ids are passed over: a name from the backup is never used as a path.
PARLEWICK_WORKERS_EXPORT QList<KikBackupLocation> kikBackupLocations(const BackupManifest &backup);
// Whether the backup has any Kik container at all, with or without a store.
PARLEWICK_WORKERS_EXPORT bool hasKikContainer(const BackupManifest &backup);

PARLEWICK_WORKERS_EXPORT bool isKikAccountId(const QString &name);

// The files of the app container's Documents moved to where the backup keeps the store that
// was read (on newer phones an account folder of the App Group container); other files stay.
PARLEWICK_WORKERS_EXPORT IOSFileItemList placedInBackup(IOSFileItemList files, const KikBackupLocation &location);

// How people know an account: "<user name> (<display name>)"; the id only when the store names
// no user, or beside the name when two accounts share it.
PARLEWICK_WORKERS_EXPORT QString kikAccountName(const KikAccountSummary &account, const QList<KikAccountSummary> &all);
// One line per account for messages: "<name>  <n> messages, newest <time>" (local time).
PARLEWICK_WORKERS_EXPORT QString describeKikAccounts(const QList<KikAccountSummary> &accounts);
// The account a user typed: its id, else its user name (either ignoring case); null for none.
PARLEWICK_WORKERS_EXPORT const KikAccountSummary *findKikAccount(const QList<KikAccountSummary> &accounts, const QString &typed);
