#pragma once

#include "workers/Export.h"
#include "workers/KeptStoreCopies.h"
#include "workers/KikBackupAccounts.h"

#include <QSharedPointer>
#include <QString>
#include <QThread>

#include <optional>

class AbsProgressTarget;
class BackupManifest;
class BackupFileNode;

// Copies Kik's store and its side folders out of an iTunes backup into a cache folder that
// mirrors the app container ("<cache root>/com.kik.chat"), decrypting when the backup is
// encrypted. The backup must be read, unlocked when encrypted, and loaded. Read found()
// after the task succeeded. The new Documents is made beside the old one and replaces it only
// once complete; from the program's own device backup into its cache of a phone, files other
// than the store are hard-linked rather than copied where the file system allows.
//
// Kik's files lie in the app container (older phones) or in one folder per account of the App
// Group container (newer phones); either folder becomes the mirror's "Documents". When the
// backup holds several and no account was set, nothing is mirrored: each store is copied
// into a private temporary folder and counted, and needsAccountChoice() asks the caller to
// pick one of accounts() and run the task again with setAccount.
class PARLEWICK_WORKERS_EXPORT IOSLoadKikFromiTunesThread : public QThread
{
    Q_OBJECT
public:
    static constexpr char AppFolderName[] = "com.kik.chat";

    // An empty cacheRoot gives the program's own cache of this backup (see defaultCacheRoot).
    IOSLoadKikFromiTunesThread(const QSharedPointer<BackupManifest> &backup, AbsProgressTarget *progress,
                               const QString &cacheRoot = QString(), QObject *parent = nullptr);
    ~IOSLoadKikFromiTunesThread() override;

    // The private cache (src/app/PrivateCache.h) joined with "talvora-itunes_cache/" and the backup's identity key.
    static QString defaultCacheRoot(const BackupManifest &backup);

    QString cacheRoot() const { return m_cacheRoot; }
    QString appFolder() const;   // the folder to open Kik's store in
    bool found() const { return m_found; }

    // Before the start: the account to load (an id from accounts(), DocumentsAccount, or the
    // account's Kik user name).
    void setAccount(const QString &accountId) { m_account = accountId; }
    bool needsAccountChoice() const { return m_needsAccountChoice; }
    const QList<KikAccountSummary> &accounts() const { return m_accounts; }
    // Where the mirrored files lie in the backup (valid when found()).
    const KikBackupLocation &location() const { return m_location; }
    // After a run that succeeded but found no store, for a caller that counts that a failure:
    // removes what the run wrote (the cache root or app folder it made, else the Documents it put there).
    void takeBack();

protected:
    void run() override;

private:
    // CopyUnlessKept: a copy the last load made and nothing changed since is linked instead.
    enum class Rule { KeepExisting, AlwaysCopy, CopyUnlessKept };

    const KikBackupLocation *chooseLocationThrow(const QList<KikBackupLocation> &places);
    void surveyAccountsThrow(const QList<KikBackupLocation> &places);
    void mirrorThrow(const KikBackupLocation *place);
    void replaceDocumentsThrow();
    bool linksPayloads() const;
    void prepareCacheRootThrow();
    void cacheNodes(const QList<const BackupFileNode *> &nodes, const QString &targetFolder, Rule rule);
    void cacheNode(const BackupFileNode *node, const QString &local, Rule rule);
    void removeWhatThisRunMade();

    // What a failed or canceled run removes. The program's own cache may go whole; a folder
    // the caller named may hold other things, so only what this run made in it goes.
    enum class Cleanup { Nothing, CacheRoot, AppFolder, Documents };

    QSharedPointer<BackupManifest> m_backup;
    AbsProgressTarget *m_progress;
    QString m_cacheRoot;
    bool m_defaultCacheRoot;
    Cleanup m_cleanup = Cleanup::Nothing;
    bool m_documentsReplaced = false;
    bool m_found = false;
    bool m_linkPayloads = false;
    std::optional<KeptStoreCopies> m_storeCopies;
    qint64 m_filesDone = 0;   // of the mirror's files, for the percentage
    qint64 m_filesTotal = 0;
    QString m_account;
    bool m_needsAccountChoice = false;
    QList<KikAccountSummary> m_accounts;
    KikBackupLocation m_location;
};
