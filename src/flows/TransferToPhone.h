#pragma once

#include "device/DeviceDescription.h"
#include "flows/Export.h"
#include "kik/KikMessage.h"
#include "workers/IOSFileItem.h"

#include <QSharedPointer>

#include <functional>

class BackupManifest;
class Secret;
class FlowInteraction;
struct PhoneKikMirror;

// Moves messages into Kik on a connected phone: straight into Kik's container when the phone
// serves it, else into the phone's device backup, which then goes back onto the phone. The
// order is the safe one: the user agrees to close Kik before anything else; when a restore is
// needed, its notes are accepted and the phone's preflight passed before anything is merged.
class PARLEWICK_FLOWS_EXPORT TransferToPhone
{
public:
    TransferToPhone(FlowInteraction &interaction, const DeviceDescription &target)
        : m_interaction(interaction)
        , m_target(target)
    {
    }

    // messages gives the messages once the user agreed to close Kik (a long load of the source
    // comes after that answer). False when nothing was transferred.
    bool run(const std::function<KikMessageList()> &messages);

private:
    bool restoreThroughDeviceBackup(const PhoneKikMirror &mirror, int transferred, const IOSFileItemList &files);
    bool unlockForRestore(const QSharedPointer<BackupManifest> &backup, Secret *password);

    FlowInteraction &m_interaction;
    const DeviceDescription m_target;
};
