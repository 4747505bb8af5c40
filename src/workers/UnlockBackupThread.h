#pragma once

#include "app/Secret.h"
#include "workers/Export.h"

#include <QSharedPointer>
#include <QString>
#include <QThread>

class AbsProgressTarget;
class BackupKeybag;
class BackupManifest;

// Unlocks the keybag of an encrypted backup with its password. The key derivation takes
// seconds with the keybags of iOS 10.2 and later, so it runs here, behind the progress
// dialog. After the task succeeded, keybag() is the unlocked keybag for
// BackupManifest::setKeybag, or null for a wrong password. A damaged keybag is the task's
// error; a cancel keeps no key.
class PARLEWICK_WORKERS_EXPORT UnlockBackupThread : public QThread
{
    Q_OBJECT
public:
    UnlockBackupThread(const QSharedPointer<const BackupManifest> &backup, Secret password, AbsProgressTarget *progress,
                       QObject *parent = nullptr);
    ~UnlockBackupThread() override;

    QSharedPointer<BackupKeybag> keybag() const { return m_keybag; }

protected:
    void run() override;

private:
    QSharedPointer<const BackupManifest> m_backup;
    Secret m_password;
    AbsProgressTarget *m_progress;
    QSharedPointer<BackupKeybag> m_keybag;
};
