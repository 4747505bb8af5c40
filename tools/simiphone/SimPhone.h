#pragma once

#include "simiphone/AnswerFault.h"
#include "simiphone/SimFaults.h"
#include "simiphone/SimPhoneFolder.h"

#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <mutex>
#include <optional>

// A phone while it is plugged in: its folder, the device number the multiplexer gave it, the
// service ports it opened, and the connections that end when it is unplugged.
// Shared between the connection threads.
class SimPhone
{
public:
    SimPhone(const SimPhoneFolder &folder, quint32 deviceId);

    const SimPhoneFolder &folder() const { return m_folder; }
    QString udid() const { return m_folder.udid(); }
    quint32 deviceId() const { return m_deviceId; }
    QVariantMap attachedProperties() const;   // "Properties" of the multiplexer's device messages
    SimFaults faults() const;

    quint16 openServicePort(const QString &service);
    QString takeServicePort(quint16 port);   // the service, once; empty when not open

    // The rule that spoils this answer, if any; Skip and Count run across connections and
    // start again whenever faults.plist changes.
    std::optional<AnswerFault> answerFault(const QString &service, const QVariant &request, const QString &key = QString());

    void record(const QString &service, int connection, QJsonObject entry) const;

    bool addConnection(int fd);   // false once unplugged
    void removeConnection(int fd);
    void detach();   // unplugged: every connection ends now

    // notification_proxy connections hear what the phone posts; each relays the names its
    // computer observes. A sink is called on the poster's thread.
    using NotificationSink = std::function<void(const QString &name)>;
    int addNotificationSink(NotificationSink sink);
    void removeNotificationSink(int id);
    void postNotification(const QString &name);

private:
    SimPhoneFolder m_folder;
    quint32 m_deviceId;
    std::mutex m_mutex;
    QHash<quint16, QString> m_ports;
    quint16 m_nextPort = 49152;
    QByteArray m_faultsStamp;
    QHash<int, int> m_faultMatches;
    QSet<int> m_connections;
    bool m_detached = false;
    std::mutex m_sinkMutex;
    QHash<int, NotificationSink> m_sinks;
    int m_nextSink = 0;
};
