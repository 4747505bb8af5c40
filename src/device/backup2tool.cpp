#include "device/backup2tool.h"

#include "app/FileReasons.h"
#include "app/TaskCanceled.h"
#include "device/BackupToolVerdict.h"
#include "device/MobileDeviceHandle.h"
#include "device/MobileDeviceSession.h"
#include "plist/CFType.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtDebug>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace {

constexpr char kDefaultTool[] = "idevicebackup2";
constexpr char kToolVariable[] = "PARLEWICK_BACKUP_TOOL";
constexpr int kStartTimeoutMsecs = 60000;
constexpr int kPollMsecs = 200;
constexpr int kUnknownEstimateSeconds = 60;
constexpr int kPresenceCheckMsecs = 1000;
// How long the tool may go on once the phone has left: 1.3.0 notices a connection lost while it
// waits for a message, but not while it waits for the next file of an upload, where it spins.
constexpr int kPhoneGoneGraceMsecs = 10000;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

QString upToNul(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLocal8Bit(nul < 0 ? bytes : bytes.left(nul));
}

// Line-buffered output brings the tool's progress bars while it works, not at its end.
QString lineBuffered(const QString &program, QStringList *args)
{
    const QString stdbuf = QStandardPaths::findExecutable(QStringLiteral("stdbuf"));
    if (stdbuf.isEmpty() || !QFileInfo(program).isExecutable())
        return program;
    *args = QStringList{QStringLiteral("-oL"), program} + *args;
    return stdbuf;
}

}   // namespace

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
    case backup2tool_restore: {
        QStringList args{QStringLiteral("-u"), m_udid};
        if (!m_password.isEmpty())
            args << QStringLiteral("-i");
        args << QStringLiteral("-s") << m_udid << QStringLiteral("restore") << QStringLiteral("--system")
             << QStringLiteral("--settings");
        if (!infoPlistListsApps())
            args << QStringLiteral("--skip-apps");
        return args << m_backupRoot;
    }
    }
    fail(QStringLiteral("unknown backup2tool_op."));
}

bool backup2tool::infoPlistListsApps() const
{
    const QString info = QDir(m_backupRoot).filePath(m_udid + QStringLiteral("/Info.plist"));
    // Without Info.plist the tool stops anyway; hidden from another tool, it is not asked for.
    if (!QFileInfo(info).isFile())
        return true;
    return CFType::fromPlistFile(info).value(QStringLiteral("Applications")).isDictionary();
}

bool backup2tool::backupFinished() const
{
    const QString status = QDir(m_backupRoot).filePath(m_udid + QStringLiteral("/Status.plist"));
    return CFType::fromPlistFile(status).value(QStringLiteral("SnapshotState")).toQString() == QLatin1String("finished");
}

void backup2tool::sendPassword(QProcess &process)
{
    if (!m_password.isEmpty()) {
        QByteArray line = m_password.toUtf8() + '\n';
        process.write(line);
        process.waitForBytesWritten(kStartTimeoutMsecs);
        line.fill('\0');
        m_password.fill(QChar());
        m_password.clear();
    }
    process.closeWriteChannel();
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
        const CFType usage = mobiledevice_copy_values(m_device, {QString()}, QStringLiteral("com.apple.disk_usage")).value(0);
        const CFType total = usage.value(QStringLiteral("TotalDataCapacity"));
        const CFType available = usage.value(QStringLiteral("AmountDataAvailable"));
        if (total.isNumber() && available.isNumber())
            return estimateSeconds(total.toInt64(), available.toInt64());
    } catch (const std::exception &e) {
        qDebug() << "backup2tool: disk usage not read:" << e.what();
    }
    return kUnknownEstimateSeconds;
}

std::optional<bool> backup2tool::phoneListed() const
{
    try {
        const QList<MobileDeviceHandle *> connected = MobileDeviceHandle::connectedDevices();
        return std::any_of(connected.begin(), connected.end(),
                           [this](const MobileDeviceHandle *device) { return device->udid() == m_udid; });
    } catch (const std::exception &error) {
        qDebug() << "backup2tool: the connected phones are unknown:" << error.what();
        return std::nullopt;
    }
}

void backup2tool::run(backup2tool_op op)
{
    m_progress = 0;
    m_canceled = false;
    const QStringList toolArgs = arguments(op);
    const int estimate = estimateDurationSeconds();
    // idevicebackup2 makes <root>/<UDID> but wants the root to be there.
    if (op == backup2tool_backup)
        makeFolderThrow(m_backupRoot);

    if (isCanceled()) {   // nothing started yet, nothing to stop
        m_password.fill(QChar());
        m_password.clear();
        throw TaskCanceled();
    }

    const QString tool = toolPath();
    const QString shownName = QFileInfo(tool).fileName();
    QStringList args = toolArgs;
    const QString program = lineBuffered(tool, &args);
    qDebug() << "backup2tool:" << program << args;
    QProcess process;
    process.start(program, args, QIODevice::ReadWrite);
    if (!process.waitForStarted(kStartTimeoutMsecs)) {
        qDebug() << "backup2tool:" << process.errorString();
        m_password.clear();
        fail(QStringLiteral("can not start %1 process: it is not installed or may not be run (%2).")
                 .arg(shownName, process.errorString()));
    }
    sendPassword(process);

    QByteArray printed;
    qsizetype scanned = 0;
    double told = -1;   // the tool's own percentage, once it printed one
    QElapsedTimer clock;
    clock.start();
    // Only a phone that was there can leave; a tool run without one is left alone.
    bool phoneSeen = false;
    bool phoneLeft = false;
    QElapsedTimer lastCheck;
    lastCheck.start();
    QElapsedTimer gone;   // runs while the phone is away
    for (;;) {
        if (isCanceled()) {
            process.kill();
            process.waitForFinished(kStartTimeoutMsecs);
            throw TaskCanceled();
        }
        if (process.waitForFinished(kPollMsecs) || process.state() == QProcess::NotRunning)
            break;
        if (lastCheck.elapsed() >= kPresenceCheckMsecs) {
            lastCheck.restart();
            const std::optional<bool> listed = phoneListed();
            if (listed.value_or(true)) {
                phoneSeen = phoneSeen || listed.has_value();
                gone.invalidate();
            } else if (phoneSeen && !gone.isValid()) {
                gone.start();
            }
        }
        if (gone.isValid() && gone.elapsed() > kPhoneGoneGraceMsecs) {
            qDebug() << "backup2tool: the phone left and the tool goes on; it is stopped.";
            process.kill();
            process.waitForFinished(kStartTimeoutMsecs);
            phoneLeft = true;
            break;
        }
        printed += process.readAllStandardOutput();
        // A bar may be cut between two reads: look again at the end of the last one.
        const double now = backupToolProgress(printed.mid(std::max<qsizetype>(0, scanned - 16)));
        scanned = printed.size();
        if (now >= 0)
            told = now;
        const qint64 elapsed = clock.elapsed() / 1000;
        m_progress = told >= 0 ? std::min(99.0, told) : progressAfter(elapsed, estimate);
        emit update(m_progress, QString(), QStringLiteral("%1 seconds passed").arg(elapsed));
    }

    // A Ctrl-C on a terminal reaches the tool too, which then ends on its own, sometimes with a
    // verdict that passes: a cancel asked for while it ran stays a cancel, however it ended.
    if (isCanceled())
        throw TaskCanceled();
    printed += process.readAllStandardOutput();
    BackupToolRun finished;
    finished.toolName = shownName;
    finished.output = upToNul(process.readAllStandardError()) + QLatin1Char('\n') + upToNul(printed);
    finished.crashed = process.exitStatus() != QProcess::NormalExit;
    finished.phoneLeft = phoneLeft;
    finished.exitCode = process.exitCode();
    finished.backupFinished = op != backup2tool_backup || backupFinished();
    qDebug().noquote() << "backup2tool output:" << finished.output;
    judgeBackupToolRun(finished);
}
