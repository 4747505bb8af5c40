#pragma once

#include "simiphone/ServiceContext.h"

#include <QVariant>
#include <QVariantMap>

#include <optional>

// Property-list messages on a service connection: 4-byte big-endian length, then the body.
// Requests are recorded; answers pass the phone's fault rules on their way out.
class PlistChannel
{
public:
    static constexpr qint64 kMaxFrame = 16 << 20;

    explicit PlistChannel(ServiceContext &context);

    // The next request, or nothing at the end of the stream or when the peer sent something
    // that is no framed dictionary (recorded as "rejected"; the caller then ends the connection).
    std::optional<QVariantMap> receive();
    // The same for any property list (DeviceLink messages are arrays).
    std::optional<QVariant> receiveAny();
    // False when the connection is to end (the peer went away or a fault closed it).
    bool send(const QVariant &answer, const QVariant &request, const QString &key = QString());

private:
    std::optional<QVariant> receiveFrame(bool dictionaryOnly);
    void reject(const QString &reason, const QByteArray &bytes, qint64 length);

    ServiceContext &m_context;
};
