#include "workers/AbsDeviceBackupThread.h"

#include "device/BackupToolVerdict.h"
#include "device/backup2tool.h"
#include "workers/AbsProgressTarget.h"

#include <QDir>
#include <QMetaObject>
#include <QRegularExpression>

#include <stdexcept>

AbsDeviceBackupThread::AbsDeviceBackupThread(const DeviceDescription &device, const QString &backupRoot,
                                             AbsProgressTarget *progress, QObject *parent)
    : QThread(parent)
    , m_device(device)
    , m_progress(progress)
    , m_tool(new backup2tool(device.handle, device.udid, backupRoot))
{
    connect(m_tool, &backup2tool::update, this, &AbsDeviceBackupThread::backupUpdate);
    // The dialog's cancel signal reaches the tool at once; other targets only have their flag.
    m_tool->setCancelCheck([progress] { return progress->isCanceled(); });
    if (auto *form = dynamic_cast<QObject *>(progress); form && form->metaObject()->indexOfSignal("userCacel()") >= 0)
        connect(form, SIGNAL(userCacel()), m_tool, SLOT(cancel()));
}

AbsDeviceBackupThread::~AbsDeviceBackupThread()
{
    m_tool->deleteLater();
}

QString AbsDeviceBackupThread::backupRoot() const
{
    return m_tool->backupRoot();
}

QString AbsDeviceBackupThread::deviceFolderThrow() const
{
    // It names a folder and goes on the tool's command line: letters, digits and inner dashes only.
    static const QRegularExpression plainUdid(QStringLiteral("^[0-9A-Za-z][0-9A-Za-z-]{0,63}$"));
    const QString udid = m_device.udid;
    if (!plainUdid.match(udid).hasMatch())
        throw std::runtime_error(QStringLiteral("invalid device identifier %1.").arg(udid).toStdString());
    return QDir(backupRoot()).filePath(udid);
}

QString AbsDeviceBackupThread::escapeAngles(QString text)
{
    return text.replace(QLatin1Char('<'), QLatin1String("&lt;")).replace(QLatin1Char('>'), QLatin1String("&gt;"));
}

QString AbsDeviceBackupThread::withRestartNote(const QString &text)
{
    return text + QStringLiteral("<br/><br/>Note: You can restart your device to try again.");
}

QString AbsDeviceBackupThread::errorText(const std::exception &error)
{
    const QString text = escapeAngles(QString::fromUtf8(error.what()));
    const auto *failure = dynamic_cast<const BackupToolError *>(&error);
    return failure && failure->known() ? text : withRestartNote(text);
}

void AbsDeviceBackupThread::backupUpdate(double progress, const QString &status, const QString &detail)
{
    Q_UNUSED(status);
    Q_UNUSED(detail);
    postProgress(m_progress, QString(), int(progress), QString());
}
