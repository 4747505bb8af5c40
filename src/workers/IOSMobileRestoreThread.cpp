#include "workers/IOSMobileRestoreThread.h"

#include "app/VendorHost.h"
#include "device/backup2tool.h"
#include "workers/AbsProgressTarget.h"
#include "workers/TaskRun.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtDebug>

#include <optional>

namespace {

// Keeps the backup's Info.plist out of the tool's sight while it lives, and puts it back after.
class HiddenFile
{
public:
    explicit HiddenFile(const QString &path)
        : m_path(path)
    {
        const QString aside = path + QLatin1Char('-') + QString::number(QDateTime::currentMSecsSinceEpoch());
        if (QFileInfo(path).isFile() && QFile::rename(path, aside))
            m_aside = aside;
    }
    ~HiddenFile()
    {
        if (!m_aside.isEmpty() && !QFile::rename(m_aside, m_path))
            qDebug() << "could not put back" << m_path << "from" << m_aside;
    }
    HiddenFile(const HiddenFile &) = delete;
    HiddenFile &operator=(const HiddenFile &) = delete;

private:
    QString m_path;
    QString m_aside;
};

}   // namespace

IOSMobileRestoreThread::IOSMobileRestoreThread(const DeviceDescription &device, const QString &backupRoot,
                                               AbsProgressTarget *progress, QObject *parent)
    : AbsDeviceBackupThread(device, backupRoot, progress, parent)
{
}

QString IOSMobileRestoreThread::restoreErrorText(const std::exception &error)
{
    const QString text = errorText(error);
    if (text.contains(QLatin1String("Find My iPhone must be disabled"), Qt::CaseInsensitive)) {
        if (!vendorHostConfigured())
            return QStringLiteral("Please turn off \"Find my iPhone\" on your iPhone first (Settings > your name > Find "
                                  "My) and then restart your iPhone to try again.<br/><br/>");
        return QStringLiteral("Please follow <a href=\"%1\"> this tutorial</a> to disable \"Find my iPhone\" first "
                              "and then restart your iPhone to try again.<br/><br/>")
            .arg(findMyIPhoneHelpUrl());
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

void IOSMobileRestoreThread::runToolThrow(const QString &deviceFolder)
{
    std::optional<HiddenFile> info;
    if (!backup2tool::needsInfoPlistToRestore())
        info.emplace(QDir(deviceFolder).filePath(QStringLiteral("Info.plist")));
    m_tool->setBackupPassword(m_password);
    m_password.fill(QChar());
    m_password.clear();
    m_tool->run(backup2tool_restore);
}

void IOSMobileRestoreThread::run()
{
    postProgress(m_progress, QStringLiteral("Transferring data to Device..."), 0, QString());
    runTask(
        m_progress,
        [this] {
            runToolThrow(deviceFolderThrow());
            return QString();
        },
        {}, &restoreErrorText);
}
