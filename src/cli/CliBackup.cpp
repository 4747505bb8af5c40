#include "cli/CliBackup.h"

#include "cli/BackupPassword.h"
#include "cli/CliOutput.h"
#include "itunes/BackupManifest.h"
#include "workers/ConsoleProgress.h"
#include "workers/IOSLoadKikFromiTunesThread.h"
#include "workers/KikBackupAccounts.h"
#include "workers/UnlockBackupThread.h"

#include <QFileInfo>
#include <QObject>

#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

}   // namespace

QSharedPointer<BackupManifest> openBackupThrow(const QString &folder, const QCommandLineParser &args, QString *password)
{
    if (!QFileInfo(folder).isDir())
        fail(QStringLiteral("The folder %1 does not exist.").arg(folder));
    auto backup = QSharedPointer<BackupManifest>::create(folder);
    backup->readInfo();
    if (!backup->isFinished())
        fail(backup->unfinishedText());
    if (backup->encrypted()) {
        const QString given = readBackupPasswordThrow(args);
        // Seconds of key derivation: on a worker, so that Ctrl-C cancels.
        ConsoleProgress progress;
        UnlockBackupThread worker(backup, given, &progress);
        runTaskThrow(progress, worker);
        if (!worker.keybag())
            fail(QObject::tr("IDS_INVALID_PASSWORD"));
        backup->setKeybag(worker.keybag());
        if (password)
            *password = given;
    }
    backup->load();
    return backup;
}

QString extractKikThrow(const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot, const QString &account,
                        KikBackupLocation *location)
{
    ConsoleProgress progress;
    IOSLoadKikFromiTunesThread worker(backup, &progress, cacheRoot);
    worker.setAccount(account);
    runTaskThrow(progress, worker);
    if (worker.needsAccountChoice())
        fail(QStringLiteral("The iTunes backup holds several Kik accounts; choose one with --account NAME (its Kik user "
                            "name, or its id where no name is shown):\n")
             + describeKikAccounts(worker.accounts()));
    if (!worker.found()) {
        worker.takeBack();   // side files without their store are of no use, and may be decrypted
        fail(QStringLiteral("Found no Kik data in your iTunes Backup."));
    }
    if (location)
        *location = worker.location();
    return worker.appFolder();
}

QCommandLineOption accountOption()
{
    return QCommandLineOption(
        QStringLiteral("account"),
        QStringLiteral("The Kik account to read when the backup holds several (its Kik user name or its id)."),
        QStringLiteral("NAME"));
}
