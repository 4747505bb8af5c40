#include "device/BackupToolVerdict.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr int kDeviceLocked = 208;
constexpr int kFindMyEnabled = 211;
constexpr int kBackupDamaged = 205;
constexpr int kUploadErrors = 104;
constexpr int kShownLines = 3;

QString knownDeviceErrorText(int code)
{
    switch (code) {
    case kDeviceLocked:
        return QStringLiteral("The iPhone is locked. Unlock it and enter your passcode on the iPhone (from iOS 16.1 "
                              "on the iPhone asks for it after the backup has started), then try again.");
    case kFindMyEnabled:
        return QStringLiteral("Find My iPhone must be disabled before restoring. Turn off Find My iPhone on the "
                              "iPhone (Settings, your name, Find My), then try again.");
    case kBackupDamaged:
        return QStringLiteral("The iPhone could not read the device backup: it is damaged. Make a new backup of the "
                              "iPhone, then try again.");
    case kUploadErrors:
        return QStringLiteral("Some files could not be sent between the iPhone and the computer. Try again.");
    }
    return QString();
}

const QString &connectionLostText()
{
    static const QString text = QStringLiteral("The connection to the iPhone was lost. Reconnect the iPhone and try again.");
    return text;
}

bool lostConnection(const QString &output)
{
    for (const char *sign : {"Could not receive from mobilebackup2", "Backup Aborted.", "Restore Aborted."}) {
        if (output.contains(QLatin1String(sign)))
            return true;
    }
    return false;
}

// The lines worth showing: those that say error, else the last few; never the progress bars.
QString shownLines(const QString &output)
{
    QStringList lines;
    QStringList errors;
    for (const QString &raw : output.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts)) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('[')))
            continue;
        lines << line;
        if (line.contains(QLatin1String("error"), Qt::CaseInsensitive))
            errors << line;
    }
    const QStringList &chosen = errors.isEmpty() ? lines : errors;
    return chosen.mid(std::max<qsizetype>(0, chosen.size() - kShownLines)).join(QLatin1Char('\n'));
}

QString withLines(const QString &output, const QString &reason)
{
    const QString said = shownLines(output);
    return said.isEmpty() ? reason : said + QLatin1Char('\n') + reason;
}

}   // namespace

int backupToolDeviceError(const QString &output, int exitCode)
{
    static const QRegularExpression line(QStringLiteral("^ErrorCode (\\d+): "), QRegularExpression::MultilineOption);
    int found = 0;
    for (auto match = line.globalMatch(output); match.hasNext();)
        found = match.next().captured(1).toInt();
    if (found != 0)
        return found;
    const int fromStatus = 256 - exitCode;
    return exitCode != 0 && !knownDeviceErrorText(fromStatus).isEmpty() ? fromStatus : 0;
}

double backupToolProgress(const QByteArray &printed)
{
    static const QRegularExpression bar(QStringLiteral("\\]\\s*(\\d{1,3})%"));
    double progress = -1;
    for (auto match = bar.globalMatch(QString::fromLatin1(printed)); match.hasNext();)
        progress = match.next().captured(1).toDouble();
    return progress > 100 ? 100 : progress;
}

void judgeBackupToolRun(const BackupToolRun &run)
{
    if (run.phoneLeft)
        throw BackupToolError(connectionLostText(), 0, true);
    if (run.crashed)
        throw BackupToolError(withLines(run.output, QStringLiteral("%1 stopped unexpectedly.").arg(run.toolName)), 0, false);
    if (run.exitCode == 0) {
        if (run.backupFinished)
            return;
        // 1.3.0 says "Backup Failed (Error Code 0)" and still exits 0.
        throw BackupToolError(QStringLiteral("The iPhone did not finish the backup. Reconnect the iPhone and try "
                                             "again."),
                              0, true);
    }
    const int code = backupToolDeviceError(run.output, run.exitCode);
    const QString known = knownDeviceErrorText(code);
    if (!known.isEmpty())
        throw BackupToolError(known, code, true);
    if (code == 0 && lostConnection(run.output))
        throw BackupToolError(connectionLostText(), 0, true);
    const QString reason = code != 0 ? QStringLiteral("%1 ended with error code %2.").arg(run.toolName).arg(code)
                                     : QStringLiteral("%1 ended with exit code %2.").arg(run.toolName).arg(run.exitCode);
    throw BackupToolError(withLines(run.output, reason), code, false);
}
