#pragma once

#include <QSharedPointer>
#include <QString>
#include <QThread>

class AbsProgressTarget;
class BackupManifest;
class _BackupFileNode;

// Copies Kik's store and its side folders out of an iTunes backup into a cache folder that
// mirrors the app container ("<cache root>/com.kik.chat"), decrypting when the backup is
// encrypted. The backup must be read, unlocked when encrypted, and loaded. Read found()
// after the task succeeded.
class IOSLoadKikFromiTunesThread : public QThread
{
    Q_OBJECT
public:
    static constexpr char AppFolderName[] = "com.kik.chat";

    // An empty cacheRoot gives the program's own cache of this backup (see defaultCacheRoot).
    IOSLoadKikFromiTunesThread(const QSharedPointer<BackupManifest> &backup, AbsProgressTarget *progress,
                               const QString &cacheRoot = QString(), QObject *parent = nullptr);
    ~IOSLoadKikFromiTunesThread() override;

    // The temporary folder joined with "talvora-itunes_cache/" and the backup's identity key.
    static QString defaultCacheRoot(const BackupManifest &backup);

    QString cacheRoot() const { return m_cacheRoot; }
    QString appFolder() const;   // the folder to open Kik's store in
    bool found() const { return m_found; }

protected:
    void run() override;

private:
    enum class Rule { KeepExisting, AlwaysCopy };

    void loadThrow();
    void prepareCacheRootThrow();
    void cacheNode(const _BackupFileNode *node, const QString &targetFolder, Rule rule);
    void removeWhatThisRunMade();

    // What a failed or canceled run removes. The program's own cache may go whole; a folder
    // the caller named may hold other things, so only what this run made in it goes.
    enum class Cleanup { Nothing, CacheRoot, AppFolder, Documents };

    QSharedPointer<BackupManifest> m_backup;
    AbsProgressTarget *m_progress;
    QString m_cacheRoot;
    bool m_defaultCacheRoot;
    Cleanup m_cleanup = Cleanup::Nothing;
    bool m_found = false;
};
