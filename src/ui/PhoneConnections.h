#pragma once

#include "ui/Export.h"

#include <QObject>
#include <QSet>
#include <QString>

class CommandHost;
class MobileDeviceHandle;
class PhoneServiceHint;
struct DeviceDescription;

// Phones plugged in and pulled out while the window is open: a phone that arrives is read
// (after the connect notes, once per session) and listed under Devices; one whose load failed
// stays listed, marked, for Retry; one that leaves goes from the tree.
class PARLEWICK_UI_EXPORT PhoneConnections : public QObject
{
    Q_OBJECT
public:
    PhoneConnections(CommandHost &host, PhoneServiceHint *serviceHint, QObject *parent);
    ~PhoneConnections() override;

    // Hears of phones from now on, where the phone library is there.
    void subscribe();
    void connected(MobileDeviceHandle *device);
    void disconnected(MobileDeviceHandle *device);
    // Reads Kik's data from the phone; a failed or cancelled load keeps the phone listed.
    void load(const DeviceDescription &description);

private:
    void showConnectNotesOnce(const QString &udid);
    void keepUnloadedPhone(const DeviceDescription &description);

    CommandHost &m_host;
    PhoneServiceHint *m_serviceHint;
    QSet<QString> m_notedPhones;   // the phones shown the notes before their load, this session
    bool m_subscribed = false;
};
