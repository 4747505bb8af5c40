#include "simiphone/SimPhone.h"

#include "simiphone/PlistCodec.h"
#include "simiphone/ReceivedLog.h"

#include <sys/socket.h>

namespace {
constexpr quint16 kLockdownPort = 62078;
constexpr quint16 kFirstServicePort = 49152;
}   // namespace

SimPhone::SimPhone(const SimPhoneFolder &folder, quint32 deviceId)
    : m_folder(folder)
    , m_deviceId(deviceId)
{
}

QVariantMap SimPhone::attachedProperties() const
{
    return {
        {QStringLiteral("ConnectionSpeed"), 480000000}, {QStringLiteral("ConnectionType"), QStringLiteral("USB")},
        {QStringLiteral("DeviceID"), m_deviceId},       {QStringLiteral("LocationID"), quint32(0x14100000u + m_deviceId)},
        {QStringLiteral("ProductID"), 0x12a8},          {QStringLiteral("SerialNumber"), udid()},
        {QStringLiteral("USBSerialNumber"), udid()},
    };
}

SimFaults SimPhone::faults() const
{
    return SimFaults(m_folder.faults());
}

quint16 SimPhone::openServicePort(const QString &service)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    while (m_nextPort == kLockdownPort || m_ports.contains(m_nextPort))
        m_nextPort = m_nextPort == 65535 ? kFirstServicePort : m_nextPort + 1;
    const quint16 port = m_nextPort;
    m_ports.insert(port, service);
    m_nextPort = m_nextPort == 65535 ? kFirstServicePort : m_nextPort + 1;
    return port;
}

QString SimPhone::takeServicePort(quint16 port)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ports.take(port);
}

std::optional<AnswerFault> SimPhone::answerFault(const QString &service, const QVariant &request, const QString &key)
{
    const QVariantMap raw = m_folder.faults();
    const QList<AnswerFault> rules = SimFaults(raw).answerFaults();
    std::lock_guard<std::mutex> lock(m_mutex);
    const QByteArray stamp = PlistCodec::toXml(raw);
    if (stamp != m_faultsStamp) {
        m_faultsStamp = stamp;
        m_faultMatches.clear();
    }
    for (int i = 0; i < rules.size(); ++i) {
        const AnswerFault &rule = rules.at(i);
        if (!rule.matches(service, request, key))
            continue;
        const int seen = ++m_faultMatches[i];
        if (seen <= rule.skip() || (rule.count() > 0 && seen > rule.skip() + rule.count()))
            continue;
        return rule;
    }
    return std::nullopt;
}

void SimPhone::record(const QString &service, int connection, QJsonObject entry) const
{
    entry.insert(QStringLiteral("service"), service);
    entry.insert(QStringLiteral("connection"), connection);
    ReceivedLog::append(m_folder.receivedLogPath(), entry);
}

bool SimPhone::addConnection(int fd)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_detached)
        return false;
    m_connections.insert(fd);
    return true;
}

void SimPhone::removeConnection(int fd)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connections.remove(fd);
}

void SimPhone::detach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_detached = true;
    m_ports.clear();
    // Under the lock: an fd leaves the set before its owner closes it, so no reused number is hit.
    for (int fd : std::as_const(m_connections))
        ::shutdown(fd, SHUT_RDWR);
}

int SimPhone::addNotificationSink(NotificationSink sink)
{
    std::lock_guard<std::mutex> lock(m_sinkMutex);
    m_sinks.insert(++m_nextSink, std::move(sink));
    return m_nextSink;
}

void SimPhone::removeNotificationSink(int id)
{
    std::lock_guard<std::mutex> lock(m_sinkMutex);
    m_sinks.remove(id);
}

void SimPhone::postNotification(const QString &name)
{
    // Under the lock, so no connection ends while its sink runs.
    std::lock_guard<std::mutex> lock(m_sinkMutex);
    for (const NotificationSink &sink : std::as_const(m_sinks))
        sink(name);
}
