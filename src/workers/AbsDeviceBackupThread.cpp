#include "workers/AbsDeviceBackupThread.h"

#include "app/AppError.h"
#include "device/MobileBackupError.h"
#include "device/MobileDeviceHandle.h"
#include "workers/AbsProgressTarget.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <stdexcept>

namespace {

QString size(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString timeLeft(qint64 elapsedMs, double percent)
{
    if (elapsedMs < 3000 || percent < 1 || percent >= 100)
        return QString();
    const double seconds = elapsedMs / 1000.0 * (100 - percent) / percent;
    if (seconds < 60)
        return QStringLiteral("less than a minute left");
    return QStringLiteral("about %1 minutes left").arg(qint64(std::ceil(seconds / 60)));
}

}   // namespace

AbsDeviceBackupThread::AbsDeviceBackupThread(const DeviceDescription &device, const QString &backupRoot, const QString &title,
                                             AbsProgressTarget *progress, QObject *parent)
    : QThread(parent)
    , m_device(device)
    , m_progress(progress)
    , m_client(std::make_unique<MobileBackupClient>(device.handle, device.udid, backupRoot))
    , m_title(title)
{
    m_client->setCancelCheck([progress] { return progress->isCanceled(); });
}

AbsDeviceBackupThread::~AbsDeviceBackupThread() = default;

QString AbsDeviceBackupThread::phoneName(const DeviceDescription &device)
{
    return device.deviceName.isEmpty() ? QStringLiteral("the iPhone") : device.deviceName;
}

QString AbsDeviceBackupThread::backupRoot() const
{
    return m_client->backupRoot();
}

QString AbsDeviceBackupThread::deviceFolderThrow() const
{
    // It names a folder: letters, digits and inner dashes only.
    static const QRegularExpression plainUdid(QStringLiteral("^[0-9A-Za-z][0-9A-Za-z-]{0,63}$"));
    const QString udid = m_device.udid;
    if (!plainUdid.match(udid).hasMatch())
        failWith(QStringLiteral("invalid device identifier %1.").arg(udid));
    return QDir(backupRoot()).filePath(udid);
}

QString AbsDeviceBackupThread::withRestartNote(const QString &text)
{
    return text + QStringLiteral("\n\nNote: You can restart your device to try again.");
}

QString AbsDeviceBackupThread::errorText(const std::exception &error)
{
    const QString text = QString::fromUtf8(error.what());
    const auto *failure = dynamic_cast<const MobileBackupError *>(&error);
    return failure && failure->known() ? text : withRestartNote(text);
}

QString AbsDeviceBackupThread::passcodeNotice()
{
    return QStringLiteral("Unlock your iPhone and type its passcode on the iPhone: it waits for the passcode before it "
                          "goes on.");
}

QString AbsDeviceBackupThread::progressText(const MobileBackupClient::Report &report, bool receiving, qint64 elapsedMs)
{
    const MobileBackupMessages::Counters &counts = report.counters;
    const qint64 bytes = receiving ? counts.bytesReceived : counts.bytesSent;
    const int files = receiving ? counts.filesReceived : counts.filesSent;
    if (bytes == 0 && files == 0) {
        if (report.spaceNeeded >= 0)
            return QStringLiteral("First backup of this iPhone: up to %1 needed, %2 free")
                .arg(size(report.spaceNeeded), size(report.spaceFree));
        return QString();
    }
    QStringList parts;
    if (receiving && counts.bytesAnnounced >= bytes)
        parts << QStringLiteral("%1 of %2").arg(size(bytes), size(counts.bytesAnnounced));
    else
        parts << size(bytes);
    parts << (files == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(files));
    const QString left = timeLeft(elapsedMs, counts.percent);
    if (!left.isEmpty())
        parts << left;
    return parts.join(QStringLiteral(", "));
}

void AbsDeviceBackupThread::postReport(const MobileBackupClient::Report &report, MobileBackupClient::Operation operation)
{
    const QString notice = report.passcodeWanted ? passcodeNotice() : QString();
    if (notice != m_notice) {
        m_notice = notice;
        m_progress->postNotice(notice);
    }
    const double percent = report.counters.percent;
    if (percent > 0 && !m_sinceFirstPercent.isValid())
        m_sinceFirstPercent.start();
    QString status = m_title;
    if (report.preparing && !report.passcodeWanted)
        status = operation == MobileBackupClient::Backup
                     ? QStringLiteral("Waiting for the iPhone to prepare its backup (with many photos this can take "
                                      "several minutes)...")
                     : QStringLiteral("Waiting for the iPhone to begin the restore...");
    postProgress(m_progress, status, percent >= 0 ? int(percent) : 0,
                 progressText(report, operation == MobileBackupClient::Backup,
                              m_sinceFirstPercent.isValid() ? m_sinceFirstPercent.elapsed() : -1));
}

void AbsDeviceBackupThread::runClientThrow(MobileBackupClient::Operation operation)
{
    m_client->setReporter([this, operation](const MobileBackupClient::Report &report) { postReport(report, operation); });
    struct NoticeCleared
    {
        AbsDeviceBackupThread *thread;
        ~NoticeCleared()
        {
            if (!thread->m_notice.isEmpty())
                thread->m_progress->postNotice(QString());
            thread->m_notice.clear();
        }
    } cleared{this};
    m_client->run(operation);
}
