#include "simiphone/AnswerFault.h"

#include <QtEndian>

namespace {

const char *const kKindNames[] = {"CloseAfter", "HugeLength",       "Truncated", "MalformedPlist",
                                  "ZeroLength", "UnknownOperation", "BadMagic",  "Status"};

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

}   // namespace

bool AnswerFault::fromVariant(const QVariantMap &rule, AnswerFault *fault)
{
    const QString kind = rule.value(QStringLiteral("Fault")).toString();
    int index = -1;
    for (int i = 0; i < int(std::size(kKindNames)); ++i)
        if (kind == QLatin1String(kKindNames[i]))
            index = i;
    fault->m_service = rule.value(QStringLiteral("Service")).toString();
    if (index < 0 || fault->m_service.isEmpty())
        return false;
    fault->m_kind = Kind(index);
    fault->m_request = rule.value(QStringLiteral("Request"));
    fault->m_key = rule.value(QStringLiteral("Key")).toString();
    fault->m_bytes = rule.value(QStringLiteral("Bytes"), -1).toLongLong();
    fault->m_length = rule.value(QStringLiteral("Length"), fault->m_length).toULongLong();
    fault->m_operation = rule.value(QStringLiteral("Operation"), fault->m_operation).toULongLong();
    fault->m_code = rule.value(QStringLiteral("Code"), fault->m_code).toULongLong();
    fault->m_skip = rule.value(QStringLiteral("Skip"), 0).toInt();
    fault->m_count = rule.value(QStringLiteral("Count"), 0).toInt();
    return true;
}

bool AnswerFault::matches(const QString &service, const QVariant &request, const QString &key) const
{
    if (service != m_service)
        return false;
    if (m_request.isValid()) {
        // AFC operations are numbers, everything else names; compare in the request's kind.
        const bool numeric = request.typeId() != QMetaType::QString;
        if (numeric ? m_request.toULongLong() != request.toULongLong() : m_request.toString() != request.toString())
            return false;
    }
    return m_key.isEmpty() || m_key == key;
}

QString AnswerFault::name() const
{
    return QLatin1String(kKindNames[m_kind]);
}

QByteArray AnswerFault::spoilPlistFrame(const QByteArray &body) const
{
    const QByteArray frame = bigEndian32(quint32(body.size())) + body;
    switch (m_kind) {
    case CloseAfter:
        return frame.left(m_bytes < 0 ? 2 : m_bytes);
    case HugeLength:
        return bigEndian32(quint32(qMin<quint64>(m_length, 0xFFFFFFFFu))) + body;
    case Truncated:
        return bigEndian32(quint32(body.size())) + body.left(m_bytes < 0 ? body.size() / 2 : m_bytes);
    case MalformedPlist: {
        const QByteArray broken = "<?xml version=\"1.0\"?><plist><dict><key>Status</key><strin\x01\xff";
        return bigEndian32(quint32(broken.size())) + broken;
    }
    case ZeroLength:
        return bigEndian32(0);
    case UnknownOperation:
    case BadMagic:
    case Status:
        return frame;   // AFC-only faults leave property-list answers alone
    }
    return frame;
}

QByteArray AnswerFault::spoilAfcPacket(const QByteArray &packet) const
{
    QByteArray spoiled = packet;
    switch (m_kind) {
    case CloseAfter:
        return packet.left(m_bytes < 0 ? 20 : m_bytes);
    case HugeLength:
        qToLittleEndian(m_length, spoiled.data() + 8);
        return spoiled;
    case Truncated:
        return packet.left(40 + (m_bytes < 0 ? (packet.size() - 40) / 2 : m_bytes));
    case ZeroLength:
        qToLittleEndian(quint64(40), spoiled.data() + 8);
        qToLittleEndian(quint64(40), spoiled.data() + 16);
        return spoiled.left(40);
    case UnknownOperation:
        qToLittleEndian(m_operation, spoiled.data() + 32);
        return spoiled;
    case BadMagic:
        spoiled.replace(0, 8, "XXXXXXXX");
        return spoiled;
    case MalformedPlist:
    case Status:
        return packet;
    }
    return packet;
}

bool AnswerFault::closesConnection() const
{
    return m_kind == CloseAfter || m_kind == HugeLength || m_kind == Truncated;
}
