#include "simiphone/DeviceLinkChannel.h"

#include <QFile>
#include <QJsonObject>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr char kCodeSuccess = 0x00;
constexpr char kCodeErrorLocal = 0x06;
constexpr char kCodeFileData = 0x0c;
constexpr qint64 kChunkBytes = 32768;
constexpr quint32 kMaxName = 4096;
constexpr quint32 kMaxChunk = 16 << 20;

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray lengthPrefixed(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return bigEndian32(quint32(utf8.size())) + utf8;
}

}   // namespace

DeviceLinkChannel::DeviceLinkChannel(ServiceContext &context)
    : m_context(context)
    , m_plist(context)
{
}

bool DeviceLinkChannel::versionExchange(quint64 major)
{
    if (!send({QStringLiteral("DLMessageVersionExchange"), major, kVersionMinor}))
        return false;
    const std::optional<QVariantList> answer = receive();
    if (!answer || answer->value(0) != QLatin1String("DLMessageVersionExchange")
        || answer->value(1) != QLatin1String("DLVersionsOk"))
        return false;
    return send({QStringLiteral("DLMessageDeviceReady")});
}

bool DeviceLinkChannel::send(const QVariantList &message)
{
    return m_plist.send(message, message.value(0));
}

bool DeviceLinkChannel::sendProcessMessage(const QVariantMap &message)
{
    return send({QStringLiteral("DLMessageProcessMessage"), message});
}

std::optional<QVariantList> DeviceLinkChannel::receive()
{
    const std::optional<QVariant> message = m_plist.receiveAny();
    if (!message || message->typeId() != QMetaType::QVariantList)
        return std::nullopt;
    const QVariantList list = message->toList();
    if (!list.value(0).toString().startsWith(QLatin1String("DL")))
        return std::nullopt;
    return list;
}

std::optional<QVariantMap> DeviceLinkChannel::receiveProcessMessage()
{
    const std::optional<QVariantList> message = receive();
    if (!message || message->size() != 2 || message->value(0) != QLatin1String("DLMessageProcessMessage")
        || message->value(1).typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return message->value(1).toMap();
}

std::optional<DeviceLinkChannel::Status> DeviceLinkChannel::receiveStatus()
{
    const std::optional<QVariantList> message = receive();
    if (!message || message->value(0) != QLatin1String("DLMessageStatusResponse"))
        return std::nullopt;
    // The computer writes negative codes as unsigned integers.
    return Status{qint64(message->value(1).toULongLong()), message->value(2).toString(), message->value(3)};
}

bool DeviceLinkChannel::writeChunk(char code, const QByteArray &bytes)
{
    return m_context.stream.write(bigEndian32(quint32(bytes.size() + 1)) + code + bytes);
}

bool DeviceLinkChannel::sendFile(const QString &deviceName, const QString &backupName, const QString &localFile, qint64 limit)
{
    QFile in(localFile);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    if (!m_context.stream.write(lengthPrefixed(deviceName) + lengthPrefixed(backupName)))
        return false;
    qint64 sent = 0;
    while (!in.atEnd()) {
        if (limit >= 0 && sent >= limit)
            return false;
        const QByteArray chunk = in.read(limit >= 0 ? std::min(kChunkBytes, limit - sent) : kChunkBytes);
        if (chunk.isEmpty() || !writeChunk(kCodeFileData, chunk))
            return false;
        sent += chunk.size();
    }
    return limit < 0 && writeChunk(kCodeSuccess, QByteArray());
}

bool DeviceLinkChannel::endFiles()
{
    return m_context.stream.write(bigEndian32(0));
}

bool DeviceLinkChannel::readBigEndian32(quint32 *value)
{
    char bytes[4];
    if (!m_context.stream.read(bytes, 4))
        return false;
    *value = qFromBigEndian<quint32>(bytes);
    return true;
}

bool DeviceLinkChannel::receiveFiles(const std::function<QString(const QString &)> &target,
                                     const std::function<void(const QString &)> &received)
{
    for (;;) {
        quint32 nameLength = 0;
        if (!readBigEndian32(&nameLength))
            return false;
        if (nameLength == 0)
            return true;
        if (nameLength > kMaxName)
            return false;
        QByteArray name(qsizetype(nameLength), '\0');
        if (!m_context.stream.read(name.data(), nameLength))
            return false;
        const QString fileName = QString::fromUtf8(name);
        const QString localFile = target(fileName);
        QFile out(localFile);
        const bool writable = !localFile.isEmpty() && out.open(QIODevice::WriteOnly);
        bool whole = false;
        for (;;) {
            quint32 length = 0;
            char code = 0;
            if (!readBigEndian32(&length) || length == 0 || length > kMaxChunk || !m_context.stream.read(&code, 1))
                return false;
            QByteArray bytes(qsizetype(length - 1), '\0');
            if (length > 1 && !m_context.stream.read(bytes.data(), length - 1))
                return false;
            if (code == kCodeFileData) {
                if (writable && out.write(bytes) != bytes.size())
                    return false;
                continue;
            }
            whole = code == kCodeSuccess;
            if (code == kCodeErrorLocal || !whole)
                m_context.record({{QStringLiteral("kind"), QStringLiteral("file")},
                                  {QStringLiteral("name"), fileName},
                                  {QStringLiteral("error"), QString::fromUtf8(bytes)}});
            break;
        }
        out.close();
        if (whole && writable)
            received(fileName);
        else if (writable)
            out.remove();
    }
}
