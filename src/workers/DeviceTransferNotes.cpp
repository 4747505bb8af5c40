#include "workers/DeviceTransferNotes.h"

#include "app/VendorHost.h"

#include <QObject>

QString closeKikFirstNote()
{
    return QObject::tr("IDS_BEFORE_RESTORE_KIK_KILL_KIK_FIRST");
}

QString deviceRestoreNotes()
{
    // The vendor's tutorial only where there is a vendor; the way to the switch is said either way.
    const QString url = findMyIPhoneHelpUrl();
    const QString detail = url.isEmpty() ? QString() : QStringLiteral(" Check detail: %1.").arg(url);
    return QStringLiteral("Notes:\n1) If your iPhone is protected with a passcode, please enter your passcode on "
                          "iPhone first.\n2) Please make sure you've turned off \"iCloud Backup\" on your "
                          "iPhone.\n3) \"Find My iPhone\" must be disabled before restoring (Settings > your name > "
                          "Find My).")
           + detail;
}
