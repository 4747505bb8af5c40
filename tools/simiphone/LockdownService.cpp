#include "simiphone/LockdownService.h"

#include "simiphone/PairingKeys.h"
#include "simiphone/PlistChannel.h"

#include <QUuid>

namespace {

QString text(const QVariantMap &message, const char *key)
{
    return message.value(QLatin1String(key)).toString();
}

}   // namespace

LockdownService::LockdownService(ServiceContext &context, const SimServiceTable &services)
    : m_context(context)
    , m_services(services)
{
}

void LockdownService::run()
{
    PlistChannel channel(m_context);
    while (const std::optional<QVariantMap> message = channel.receive()) {
        const QString request = text(*message, "Request");
        QVariantMap reply = answer(request, *message);
        reply.insert(QStringLiteral("Request"), request);
        const bool failed = reply.contains(QStringLiteral("Error"));
        if (!channel.send(reply, request, text(*message, "Key")))
            return;
        if (failed)
            continue;
        if (request == QLatin1String("StartSession") && !beginTls())
            return;
        if (request == QLatin1String("StopSession"))
            m_context.stream.stopTls();
        if (request == QLatin1String("Goodbye"))
            return;
    }
}

QVariantMap LockdownService::error(const QString &text)
{
    return {{QStringLiteral("Error"), text}};
}

QVariantMap LockdownService::answer(const QString &request, const QVariantMap &message)
{
    const QString injected = m_context.phone->faults().lockdownError(
        request, {text(message, "Service"), text(message, "Key"), text(message, "Domain")});
    if (!injected.isEmpty())
        return error(injected);
    if (request == QLatin1String("QueryType"))
        return {{QStringLiteral("Type"), serviceName()}};
    if (request == QLatin1String("GetValue"))
        return getValue(message);
    if (request == QLatin1String("SetValue") || request == QLatin1String("RemoveValue"))
        return setValue(request, message);
    if (request == QLatin1String("Pair"))
        return pair(message);
    if (request == QLatin1String("ValidatePair"))
        return validatePair(message);
    if (request == QLatin1String("Unpair")) {
        m_context.phone->folder().deletePairing();
        return {};
    }
    if (request == QLatin1String("StartSession"))
        return startSession(message);
    if (request == QLatin1String("StopSession"))
        return stopSession(message);
    if (request == QLatin1String("StartService"))
        return startService(message);
    if (request == QLatin1String("Goodbye"))
        return {{QStringLiteral("Result"), QStringLiteral("Success")}};
    return error(QStringLiteral("InvalidRequest"));
}

QVariantMap LockdownService::getValue(const QVariantMap &message) const
{
    const QString domain = text(message, "Domain");
    const QString key = text(message, "Key");
    QVariantMap reply;
    if (message.contains(QStringLiteral("Domain")))
        reply.insert(QStringLiteral("Domain"), domain);
    if (message.contains(QStringLiteral("Key")))
        reply.insert(QStringLiteral("Key"), key);
    const QVariantMap values = m_context.phone->folder().lockdownValues();
    if (!values.contains(domain) || (!key.isEmpty() && !values.value(domain).toMap().contains(key))) {
        reply.insert(QStringLiteral("Error"), QStringLiteral("MissingValue"));
        return reply;
    }
    reply.insert(QStringLiteral("Value"), key.isEmpty() ? values.value(domain) : values.value(domain).toMap().value(key));
    return reply;
}

QVariantMap LockdownService::setValue(const QString &request, const QVariantMap &message) const
{
    const QString key = text(message, "Key");
    if (key.isEmpty() || (request == QLatin1String("SetValue") && !message.contains(QStringLiteral("Value"))))
        return error(QStringLiteral("MissingValue"));
    const QVariant value = request == QLatin1String("SetValue") ? message.value(QStringLiteral("Value")) : QVariant();
    m_context.phone->folder().setLockdownValue(text(message, "Domain"), key, value);
    return {};
}

QVariantMap LockdownService::pair(const QVariantMap &message) const
{
    if (m_context.phone->faults().pairingRefused())
        return error(QStringLiteral("UserDeniedPairing"));
    const QVariantMap record = message.value(QStringLiteral("PairRecord")).toMap();
    const QByteArray deviceCertificate = record.value(QStringLiteral("DeviceCertificate")).toByteArray();
    if (text(record, "HostID").isEmpty() || record.value(QStringLiteral("HostCertificate")).toByteArray().isEmpty()
        || record.value(QStringLiteral("RootCertificate")).toByteArray().isEmpty()
        || !PairingKeys::certificateCarriesKey(deviceCertificate, m_context.phone->folder().devicePrivateKey()))
        return error(QStringLiteral("InvalidPairRecord"));
    m_context.phone->folder().savePairing(record);
    return {{QStringLiteral("EscrowBag"), PairingKeys::randomBytes(32)}};
}

QVariantMap LockdownService::validatePair(const QVariantMap &message) const
{
    const QVariantMap record = message.value(QStringLiteral("PairRecord")).toMap();
    if (!trustsHost(text(record, "HostID")))
        return error(QStringLiteral("InvalidHostID"));
    return {};
}

bool LockdownService::trustsHost(const QString &hostId) const
{
    if (hostId.isEmpty() || m_context.phone->faults().notPaired())
        return false;
    return text(m_context.phone->folder().pairing(), "HostID") == hostId;
}

QVariantMap LockdownService::startSession(const QVariantMap &message)
{
    if (!m_sessionId.isEmpty())
        return error(QStringLiteral("SessionActive"));
    if (!trustsHost(text(message, "HostID")))
        return error(QStringLiteral("InvalidHostID"));
    m_sessionId = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return {
        {QStringLiteral("SessionID"), m_sessionId},
        {QStringLiteral("EnableSessionSSL"), true},
    };
}

bool LockdownService::beginTls()
{
    // The phone shows the certificate the computer made for it when pairing; should that not
    // fit its key or not parse here (the phone library leaves its names empty), a certificate
    // of its own does: the computer accepts any.
    const QByteArray key = m_context.phone->folder().devicePrivateKey();
    QByteArray certificate = m_context.phone->folder().pairing().value(QStringLiteral("DeviceCertificate")).toByteArray();
    if (!PairingKeys::certificateMatchesKey(certificate, key))
        certificate = PairingKeys::makeCertificate(key, key, QStringLiteral("Device"), QStringLiteral("Device"), false);
    QString failure;
    const bool started = m_context.stream.startTls(certificate, key, minimumTls(), &failure);
    QJsonObject entry{{QStringLiteral("kind"), QStringLiteral("tls")},
                      {QStringLiteral("event"), started ? QStringLiteral("started") : QStringLiteral("failed")}};
    if (!started)
        entry.insert(QStringLiteral("error"), failure);
    m_context.record(entry);
    return started;
}

ServiceStream::TlsVersion LockdownService::minimumTls() const
{
    // Phones of iOS 10 and later refuse anything older than TLS 1.2.
    const QVariantMap values = m_context.phone->folder().lockdownValues();
    const QString version = values.value(QString()).toMap().value(QStringLiteral("ProductVersion")).toString();
    return version.section(QLatin1Char('.'), 0, 0).toInt() >= 10 ? ServiceStream::TlsVersion::Tls12
                                                                 : ServiceStream::TlsVersion::Tls10;
}

QVariantMap LockdownService::stopSession(const QVariantMap &message)
{
    if (m_sessionId.isEmpty())
        return error(QStringLiteral("SessionInactive"));
    if (text(message, "SessionID") != m_sessionId)
        return error(QStringLiteral("InvalidSessionID"));
    m_sessionId.clear();
    return {};
}

QVariantMap LockdownService::startService(const QVariantMap &message) const
{
    const QString service = text(message, "Service");
    if (m_sessionId.isEmpty())
        return error(QStringLiteral("SessionInactive"));
    if (!m_services.find(service))
        return error(QStringLiteral("InvalidService"));
    return {
        {QStringLiteral("Service"), service},
        {QStringLiteral("Port"), m_context.phone->openServicePort(service)},
        {QStringLiteral("EnableServiceSSL"), false},
    };
}
