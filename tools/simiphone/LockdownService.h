#pragma once

#include "simiphone/ServiceContext.h"
#include "simiphone/SimServiceTable.h"

#include <QString>
#include <QVariantMap>

// The phone's lockdown on port 62078: values, pairing, sessions (TLS from StartSession to
// StopSession, the phone being the TLS server) and the start of the other services.
class LockdownService
{
public:
    static constexpr quint16 kPort = 62078;
    static QString serviceName() { return QStringLiteral("com.apple.mobile.lockdown"); }

    LockdownService(ServiceContext &context, const SimServiceTable &services);
    void run();

private:
    QVariantMap answer(const QString &request, const QVariantMap &message);
    QVariantMap getValue(const QVariantMap &message) const;
    QVariantMap setValue(const QString &request, const QVariantMap &message) const;
    QVariantMap pair(const QVariantMap &message) const;
    QVariantMap validatePair(const QVariantMap &message) const;
    QVariantMap startSession(const QVariantMap &message);
    QVariantMap stopSession(const QVariantMap &message);
    QVariantMap startService(const QVariantMap &message) const;
    bool trustsHost(const QString &hostId) const;
    bool beginTls();
    ServiceStream::TlsVersion minimumTls() const;
    static QVariantMap error(const QString &text);

    ServiceContext &m_context;
    const SimServiceTable &m_services;
    QString m_sessionId;
};
