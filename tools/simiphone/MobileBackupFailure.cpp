#include "simiphone/MobileBackupFailure.h"

MobileBackupFailure MobileBackupFailure::of(int code, const QString &detail)
{
    QString text = detail;
    if (text.isEmpty()) {
        switch (code) {
        case 3:
            text = QStringLiteral("Failed to create snapshot: File exists");
            break;
        case 104:
            text = QStringLiteral("Multiple errors uploading files");
            break;
        case 105:
            text = QStringLiteral("Insufficient free disk space on drive to back up");
            break;
        case 205:
            text = QStringLiteral("Digest didn't match for some files");
            break;
        case 207:
            text = QStringLiteral("Incorrect backup password");
            break;
        case 208:
            text = QStringLiteral("Device locked");
            break;
        case 211:
            text = QStringLiteral("Find My iPhone must be disabled before restoring");
            break;
        case 212:
            text = QStringLiteral("Unable to backup until Setup is finished");
            break;
        default:
            text = QStringLiteral("Backup operation failed");
            break;
        }
    }
    return {code, QStringLiteral("%1 (MBErrorDomain/%2)").arg(text).arg(code)};
}
