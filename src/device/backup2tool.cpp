#include "device/backup2tool.h"

#include "device/MobileDeviceHandle.h"
#include "device/MobileDeviceSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtDebug>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr char kDefaultTool[] = "idevicebackup2";
constexpr char kToolVariable[] = "PARLEWICK_BACKUP_TOOL";
constexpr int kStartTimeoutMsecs = 60000;
constexpr int kPollMsecs = 200;
constexpr int kUnknownEstimateSeconds = 60;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

QString upToNul(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLocal8Bit(nul < 0 ? bytes : bytes.left(nul));
}

QString withReason(const QString &output, const QString &reason)
{
    const QString said = output.trimmed();
    return said.isEmpty() ? reason : said + QLatin1Char('\n') + reason;
}

} // namespace

backup2tool::backup2tool(void *device, const QString &udid, const QString &backupRoot)
    : m_device(static_cast<MobileDeviceHandle *>(device))
    , m_udid(udid)
    , m_backupRoot(QDir::toNativeSeparators(QDir(backupRoot).absolutePath()))
{
}

void backup2tool::cancel()
{
    m_canceled = true;
}

bool backup2tool::isCanceled() const
{
    return m_canceled || (m_cancelCheck && m_cancelCheck());
}

QString backup2tool::toolName()
{
    const QString chosen = qEnvironmentVariable(kToolVariable);
    return chosen.isEmpty() ? QString::fromLatin1(kDefaultTool) : chosen;
}

QString backup2tool::toolPath()
{
    const QString name = toolName();
    if (name.contains(QLatin1Char('/')))
        return QFileInfo(name).absoluteFilePath();
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? name : found;
}

bool backup2tool::needsInfoPlistToRestore()
{
    return QFileInfo(toolPath()).fileName() == QLatin1String(kDefaultTool);
}

QStringList backup2tool::arguments(backup2tool_op op) const
{
    // The tool reads and writes <root>/<UDID>; -s names that sub-folder for a restore.
    switch (op) {
    case backup2tool_backup:
        return {QStringLiteral("-u"), m_udid, QStringLiteral("backup"), m_backupRoot};
    case backup2tool_restore:
        return {QStringLiteral("-u"), m_udid, QStringLiteral("-s"), m_udid, QStringLiteral("restore"),
                QStringLiteral("--system"), QStringLiteral("--settings"), m_backupRoot};
    }
    fail(QStringLiteral("unknown backup2tool_op."));
}

int backup2tool::estimateSeconds(qint64 totalBytes, qint64 availableBytes)
{
    const qint64 usedMB = (totalBytes - availableBytes) / 1024 / 1024;
    if (usedMB <= 0)
        return kUnknownEstimateSeconds;
    // A nearly empty phone would give 0 seconds, and a progress divided by zero.
    return std::max(1, int(usedMB * 0.03));
}

double backup2tool::progressAfter(qint64 elapsedSeconds, int estimateSeconds)
{
    return std::min(99.0, double(elapsedSeconds) / estimateSeconds * 99);
}

int backup2tool::estimateDurationSeconds() const
{
    if (!m_device)
        return kUnknownEstimateSeconds;
    try {
        const CFType usage =
            mobiledevice_copy_values(m_device, {QString()}, QStringLiteral("com.apple.disk_usage")).value(0);
        const CFType total = usage.value(QStringLiteral("TotalDataCapacity"));
        const CFType available = usage.value(QStringLiteral("AmountDataAvailable"));
        if (total.isNumber() && available.isNumber())
            return estimateSeconds(total.toInt64(), available.toInt64());
    } catch (const std::exception &e) {
        qDebug() << "backup2tool: disk usage not read:" << e.what();
    }
    return kUnknownEstimateSeconds;
}

void backup2tool::run(backup2tool_op op)
{
    m_progress = 0;
    m_canceled = false;
    const QStringList args = arguments(op);
    const int estimate = estimateDurationSeconds();
    // idevicebackup2 makes <root>/<UDID> but wants the root to be there.
    if (op == backup2tool_backup && !QDir().mkpath(m_backupRoot))
        fail(QStringLiteral("can not create %1.").arg(m_backupRoot));

    const QString program = toolPath();
    const QString shownName = QFileInfo(program).fileName();
    qDebug() << "backup2tool:" << program << args;
    QProcess process;
    process.start(program, args, QIODevice::ReadOnly);
    if (!process.waitForStarted(kStartTimeoutMsecs)) {
        qDebug() << "backup2tool:" << process.errorString();
        fail(QStringLiteral("can not start %1 process.").arg(shownName));
    }

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (isCanceled()) {
            process.kill();
            process.waitForFinished(kStartTimeoutMsecs);
            return;
        }
        if (process.waitForFinished(kPollMsecs) || process.state() == QProcess::NotRunning)
            break;
        const qint64 elapsed = clock.elapsed() / 1000;
        m_progress = progressAfter(elapsed, estimate);
        emit update(m_progress, QString(), QStringLiteral("%1 seconds passed").arg(elapsed));
    }

    const QString output = upToNul(process.readAllStandardError()) + QLatin1Char('\n')
                           + upToNul(process.readAllStandardOutput());
    qDebug().noquote() << "backup2tool output:" << output;
    if (output.contains(QLatin1String("error"), Qt::CaseInsensitive))
        fail(output);
    // A tool that fails without saying "error" has still failed.
    if (process.exitStatus() != QProcess::NormalExit)
        fail(withReason(output, QStringLiteral("%1 stopped unexpectedly.").arg(shownName)));
    if (process.exitCode() != 0)
        fail(withReason(output, QStringLiteral("%1 ended with exit code %2.").arg(shownName).arg(process.exitCode())));
}
