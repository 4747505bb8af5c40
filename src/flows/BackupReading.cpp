#include "flows/BackupReading.h"

#include "app/AppError.h"
#include "flows/FlowInteraction.h"
#include "itunes/BackupManifest.h"
#include "workers/IOSLoadKikFromiTunesThread.h"
#include "workers/UnlockBackupThread.h"

void readBackupInfoThrow(BackupManifest &backup)
{
    backup.readInfo();
    if (!backup.isFinished())
        failWith(backup.unfinishedText());
}

KnownPassword unlockWithKnownPassword(FlowInteraction &interaction, const QSharedPointer<BackupManifest> &backup,
                                      const Secret &password)
{
    const std::unique_ptr<FlowTask> task = interaction.task();
    UnlockBackupThread worker(backup, password.clone(), &task->target());
    if (!task->run(worker))
        return KnownPassword::Stopped;
    if (!worker.keybag())
        return KnownPassword::Refused;
    backup->setKeybag(worker.keybag());
    return KnownPassword::Unlocked;
}

namespace {

bool openBackup(FlowInteraction &interaction, const QSharedPointer<BackupManifest> &backup, Secret *password)
{
    if (backup->encrypted() && !interaction.unlockBackup(backup, password))
        return false;
    backup->load();
    return true;
}

bool extractKik(FlowInteraction &interaction, const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot,
                const QString &notFoundText, KikExtraction *out)
{
    std::unique_ptr<FlowTask> task = interaction.task();
    auto worker = std::make_unique<IOSLoadKikFromiTunesThread>(backup, &task->target(), cacheRoot);
    worker->setAccount(interaction.givenKikAccount());
    if (!task->run(*worker))
        return false;
    if (worker->needsAccountChoice()) {
        const QString account = interaction.chooseKikAccount(worker->accounts());
        if (account.isEmpty())
            return false;
        // The first run's worker and progress go first: progress displays nest.
        worker.reset();
        task.reset();
        task = interaction.task();
        worker = std::make_unique<IOSLoadKikFromiTunesThread>(backup, &task->target(), cacheRoot);
        worker->setAccount(account);
        if (!task->run(*worker))
            return false;
    }
    if (!worker->found()) {
        worker->takeBack();   // side files without their store are of no use, and may be decrypted
        failWith(notFoundText);
    }
    *out = {worker->appFolder(), worker->location()};
    return true;
}

}   // namespace

bool openAndExtractKik(FlowInteraction &interaction, const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot,
                       const QString &notFoundText, KikExtraction *out, Secret *password)
{
    return openBackup(interaction, backup, password) && extractKik(interaction, backup, cacheRoot, notFoundText, out);
}

QString kikNotFoundText()
{
    return QStringLiteral("Found no Kik data in your iTunes Backup.");
}
