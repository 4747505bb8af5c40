#pragma once

#include "simiphone/SimPhone.h"
#include "simiphone/UsbmuxEventQueue.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <mutex>

// The phones plugged in: every folder of the phones folder that holds a lockdown.plist and no
// "unplugged" marker. rescan() brings the list in line with the disk and tells every Listen
// connection; a phone that comes back gets a new device number, as with a real cable.
class PhoneRegistry
{
public:
    explicit PhoneRegistry(const QString &phonesDir);
    ~PhoneRegistry();

    QString phonesDir() const { return m_phonesDir; }
    void rescan();
    void detachAll();
    QList<std::shared_ptr<SimPhone>> attached() const;
    std::shared_ptr<SimPhone> findByDeviceId(quint32 deviceId) const;
    std::shared_ptr<SimPhone> findByUdid(const QString &udid) const;

    // A new listener first hears of every phone plugged in now.
    void subscribe(const std::shared_ptr<UsbmuxEventQueue> &listener);
    void unsubscribe(const std::shared_ptr<UsbmuxEventQueue> &listener);

    static QVariantMap attachedEvent(const SimPhone &phone);

private:
    void detachLocked(const QString &udid);
    void tellListenersLocked(const QVariantMap &event);

    const QString m_phonesDir;
    mutable std::mutex m_mutex;
    QMap<QString, std::shared_ptr<SimPhone>> m_phones;
    quint32 m_nextDeviceId = 1;
    QList<std::shared_ptr<UsbmuxEventQueue>> m_listeners;
};
