#include "workers/IOSMobileRestoreThread.h"

#include "app/VendorHost.h"
#include "workers/AbsProgressTarget.h"
#include "workers/TaskRun.h"

#include <QRegularExpression>

IOSMobileRestoreThread::IOSMobileRestoreThread(const DeviceDescription &device, const QString &backupRoot,
                                               AbsProgressTarget *progress, QObject *parent)
    : AbsDeviceBackupThread(device, backupRoot, QStringLiteral("Restoring to %1: it will restart...").arg(phoneName(device)),
                            progress, parent)
{
}

QString IOSMobileRestoreThread::restoreErrorText(const std::exception &error)
{
    const QString text = errorText(error);
    if (text.contains(QLatin1String("Find My iPhone must be disabled"), Qt::CaseInsensitive)) {
        const QString stolenDeviceHour = QStringLiteral(
            " With Stolen Device Protection on, the iPhone may make you wait an hour before it lets you turn Find My "
            "off away from familiar places.");
        if (!vendorHostConfigured())
            return QStringLiteral("Please turn off \"Find my iPhone\" on your iPhone first (Settings > your name > Find "
                                  "My) and then restart your iPhone to try again.%1\n\n")
                .arg(stolenDeviceHour);
        return QStringLiteral("Please follow this tutorial: %1 to disable \"Find my iPhone\" first and then restart "
                              "your iPhone to try again.%2\n\n")
            .arg(findMyIPhoneHelpUrl(), stolenDeviceHour);
    }
    static const QRegularExpression noSpace(
        QStringLiteral("Insufficient free disk space on device to restore \\((\\d+) [^\\d]+ (\\d+)\\)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = noSpace.match(text);
    if (match.hasMatch()) {
        const double gigabytes = match.captured(2).toDouble() / 1024 / 1024 / 1024;
        return QStringLiteral("%1 GB free disk space on your device is required restore data.  Please remove some "
                              "camera roll videos from your device to computer to free up disk space first and then "
                              "try again.")
            .arg(QString::number(gigabytes, 'g', 1));
    }
    return text;
}

void IOSMobileRestoreThread::run()
{
    postProgress(m_progress, m_title, 0, QString());
    runTask(
        m_progress,
        [this] {
            deviceFolderThrow();
            runClientThrow(MobileBackupClient::Restore);
            return QString();
        },
        {}, &restoreErrorText);
}
