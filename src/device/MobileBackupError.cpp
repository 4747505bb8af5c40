#include "device/MobileBackupError.h"

#include <QDir>

namespace MobileBackupErrors {

namespace {

constexpr int kShownNameLength = 120;

QString restartAndRetry()
{
    return QStringLiteral("Restart the iPhone, reconnect it, and try again.");
}

}   // namespace

QString adviceFor(int code, const QString &backupRoot)
{
    switch (code) {
    case SnapshotLeft:
        return QStringLiteral("The iPhone could not start the backup: a backup that was interrupted earlier left its "
                              "snapshot behind. Restart the iPhone, then try again.");
    case UploadErrors:
        return QStringLiteral("Some files could not be sent between the iPhone and the computer. Try again.");
    case ComputerFull:
        return QStringLiteral("There is not enough free space on the computer for the backup. Free some space on the "
                              "disk that holds %1, then try again.")
            .arg(QDir::toNativeSeparators(backupRoot));
    case BackupDamaged:
        return QStringLiteral("The iPhone could not read the device backup: it is damaged. Make a new backup of the "
                              "iPhone, then try again.");
    case WrongPassword:
        return QStringLiteral("The iPhone did not accept the backup password. Use the password that was set for this "
                              "iPhone's encrypted backups, then try again.");
    case DeviceLocked:
        return QStringLiteral("The iPhone is locked. Unlock it and enter your passcode on the iPhone (from iOS 16.1 "
                              "on the iPhone asks for it after the backup has started), then try again.");
    case FindMyEnabled:
        return QStringLiteral("Find My iPhone must be disabled before restoring. Turn off Find My iPhone on the "
                              "iPhone (Settings, your name, Find My), then try again. With Stolen Device Protection "
                              "on, the iPhone may make you wait an hour before it lets you turn it off away from "
                              "familiar places.");
    case SetupUnfinished:
        return QStringLiteral("The iPhone has not finished its setup. Finish setting up the iPhone (follow the steps "
                              "on its screen), then try again.");
    }
    return QString();
}

MobileBackupError fromDevice(int code, const QString &description, const QString &backupRoot)
{
    const QString advice = adviceFor(code, backupRoot);
    if (!advice.isEmpty())
        return MobileBackupError(advice, code, true);
    const QString said = description.trimmed().left(400);
    return MobileBackupError(said.isEmpty() ? QStringLiteral("The iPhone ended with error code %1.").arg(code)
                                            : QStringLiteral("The iPhone ended with error code %1: %2").arg(code).arg(said),
                             code, false);
}

MobileBackupError connectionLost()
{
    return MobileBackupError(QStringLiteral("The connection to the iPhone was lost. Reconnect the iPhone and try again."), 0,
                             true);
}

MobileBackupError notFinished()
{
    return MobileBackupError(QStringLiteral("The iPhone did not finish the backup. Reconnect the iPhone and try again."), 0,
                             true);
}

MobileBackupError stalled(int seconds)
{
    const QString wait = seconds >= 120 ? QStringLiteral("%1 minutes").arg(seconds / 60)
                         : seconds == 1 ? QStringLiteral("1 second")
                                        : QStringLiteral("%1 seconds").arg(seconds);
    return MobileBackupError(QStringLiteral("The iPhone stopped sending for %1 while it was still connected. ").arg(wait)
                                 + restartAndRetry(),
                             0, true);
}

MobileBackupError unsafeName(const QString &name)
{
    // The name is the phone's: shown without its control characters, and not at any length.
    QString shown;
    for (const QChar c : name.left(kShownNameLength))
        shown += c.unicode() < 0x20 || c.unicode() == 0x7f ? QChar(u'?') : c;
    if (name.size() > kShownNameLength)
        shown += QStringLiteral("...");
    return MobileBackupError(QStringLiteral("The iPhone sent a file name that is not safe to use (\"%1\"). The transfer "
                                            "was stopped; nothing was written outside the backup folder. ")
                                     .arg(shown)
                                 + restartAndRetry(),
                             0, true);
}

MobileBackupError protocolError(const QString &what)
{
    return MobileBackupError(QStringLiteral("The iPhone answered in a way the program does not understand (%1).").arg(what), 0,
                             false);
}

}   // namespace MobileBackupErrors
