#include "simiphone/PlistChannel.h"

#include "simiphone/PlistCodec.h"

#include <QtEndian>

PlistChannel::PlistChannel(ServiceContext &context)
    : m_context(context)
{
}

std::optional<QVariantMap> PlistChannel::receive()
{
    const std::optional<QVariant> message = receiveFrame(true);
    return message ? std::optional<QVariantMap>(message->toMap()) : std::nullopt;
}

std::optional<QVariant> PlistChannel::receiveAny()
{
    return receiveFrame(false);
}

std::optional<QVariant> PlistChannel::receiveFrame(bool dictionaryOnly)
{
    char header[4];
    if (!m_context.stream.read(header, 4))
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(header);
    if (length > kMaxFrame) {
        reject(QStringLiteral("frame too long"), QByteArray(header, 4), length);
        return std::nullopt;
    }
    QByteArray body(qsizetype(length), '\0');
    if (length > 0 && !m_context.stream.read(body.data(), length)) {
        reject(QStringLiteral("frame cut short"), QByteArray(header, 4), length);
        return std::nullopt;
    }
    const QVariant message = PlistCodec::parse(body);
    if (!message.isValid() || (dictionaryOnly && message.typeId() != QMetaType::QVariantMap)) {
        reject(dictionaryOnly ? QStringLiteral("not a property-list dictionary") : QStringLiteral("not a property list"), body,
               length);
        return std::nullopt;
    }
    m_context.record({
        {QStringLiteral("kind"), QStringLiteral("plist")},
        {QStringLiteral("tls"), m_context.stream.isTls()},
        {QStringLiteral("request"), PlistCodec::toJson(message)},
    });
    return message;
}

bool PlistChannel::send(const QVariant &answer, const QVariant &request, const QString &key)
{
    const QByteArray body = PlistCodec::toXml(answer);
    const std::optional<AnswerFault> fault = m_context.phone->answerFault(m_context.service, request, key);
    if (!fault) {
        QByteArray frame(4, '\0');
        qToBigEndian(quint32(body.size()), frame.data());
        return m_context.stream.write(frame + body);
    }
    m_context.record({
        {QStringLiteral("kind"), QStringLiteral("fault")},
        {QStringLiteral("fault"), fault->name()},
        {QStringLiteral("answering"), PlistCodec::toJson(request)},
    });
    const bool written = m_context.stream.write(fault->spoilPlistFrame(body));
    if (fault->closesConnection()) {
        m_context.stream.close();
        return false;
    }
    return written;
}

void PlistChannel::reject(const QString &reason, const QByteArray &bytes, qint64 length)
{
    m_context.record({
        {QStringLiteral("kind"), QStringLiteral("rejected")},
        {QStringLiteral("reason"), reason},
        {QStringLiteral("length"), double(length)},
        {QStringLiteral("hex"), QString::fromLatin1(bytes.left(64).toHex())},
    });
}
