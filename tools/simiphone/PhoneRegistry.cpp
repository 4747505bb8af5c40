#include "simiphone/PhoneRegistry.h"

#include <QDir>
#include <QSet>

PhoneRegistry::PhoneRegistry(const QString &phonesDir)
    : m_phonesDir(phonesDir)
{
}

PhoneRegistry::~PhoneRegistry()
{
    detachAll();
}

void PhoneRegistry::rescan()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSet<QString> present;
    const QStringList names = QDir(m_phonesDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const SimPhoneFolder folder(QDir(m_phonesDir).filePath(name));
        if (SimPhoneFolder::isValidUdid(name) && folder.exists() && !folder.isUnplugged())
            present.insert(name);
    }
    const QStringList known = m_phones.keys();
    for (const QString &udid : known)
        if (!present.contains(udid))
            detachLocked(udid);
    for (const QString &udid : names) {
        if (!present.contains(udid) || m_phones.contains(udid))
            continue;
        auto phone = std::make_shared<SimPhone>(SimPhoneFolder(QDir(m_phonesDir).filePath(udid)), m_nextDeviceId++);
        m_phones.insert(udid, phone);
        tellListenersLocked(attachedEvent(*phone));
    }
}

void PhoneRegistry::detachAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const QStringList known = m_phones.keys();
    for (const QString &udid : known)
        detachLocked(udid);
}

void PhoneRegistry::detachLocked(const QString &udid)
{
    const std::shared_ptr<SimPhone> phone = m_phones.take(udid);
    phone->detach();
    tellListenersLocked({
        {QStringLiteral("MessageType"), QStringLiteral("Detached")},
        {QStringLiteral("DeviceID"), phone->deviceId()},
    });
}

void PhoneRegistry::tellListenersLocked(const QVariantMap &event)
{
    for (const auto &listener : std::as_const(m_listeners))
        listener->push(event);
}

QList<std::shared_ptr<SimPhone>> PhoneRegistry::attached() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_phones.values();
}

std::shared_ptr<SimPhone> PhoneRegistry::findByDeviceId(quint32 deviceId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto &phone : m_phones)
        if (phone->deviceId() == deviceId)
            return phone;
    return nullptr;
}

std::shared_ptr<SimPhone> PhoneRegistry::findByUdid(const QString &udid) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_phones.value(udid);
}

void PhoneRegistry::subscribe(const std::shared_ptr<UsbmuxEventQueue> &listener)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto &phone : std::as_const(m_phones))
        listener->push(attachedEvent(*phone));
    m_listeners.append(listener);
}

void PhoneRegistry::unsubscribe(const std::shared_ptr<UsbmuxEventQueue> &listener)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listeners.removeAll(listener);
}

QVariantMap PhoneRegistry::attachedEvent(const SimPhone &phone)
{
    return {
        {QStringLiteral("MessageType"), QStringLiteral("Attached")},
        {QStringLiteral("DeviceID"), phone.deviceId()},
        {QStringLiteral("Properties"), phone.attachedProperties()},
    };
}
