#include "workers/DeviceTransferNotes.h"

#include "app/VendorHost.h"

#include <QObject>

QString closeKikFirstNote()
{
    return QObject::tr("IDS_BEFORE_RESTORE_KIK_KILL_KIK_FIRST");
}

QString deviceRestoreNotes()
{
    return QStringLiteral("Notes:<br/>1) If your iPhone is protected with a passcode, please enter your passcode on "
                          "iPhone first.<br/>2) Please make sure you've turned off \"iCloud Backup\" on your "
                          "iPhone.<br/>3) \"Find My iPhone\" must be disabled before restoring. Check <a "
                          "href=\"%1\">detail</a>.")
        .arg(findMyIPhoneHelpUrl());
}
