#include "simiphone/AfcPacket.h"

#include <QtEndian>

namespace {

const char kMagic[] = "CFA6LPAA";

const char *const kOperationNames[] = {
    "Invalid",
    "Status",
    "Data",
    "ReadDirectory",
    "ReadFile",
    "WriteFile",
    "WritePart",
    "Truncate",
    "RemovePath",
    "MakeDirectory",
    "GetFileInfo",
    "GetDeviceInfo",
    "WriteFileAtomic",
    "FileOpen",
    "FileOpenResult",
    "FileRead",
    "FileWrite",
    "FileSeek",
    "FileTell",
    "FileTellResult",
    "FileClose",
    "FileSetSize",
    "GetConnectionInfo",
    "SetConnectionOptions",
    "RenamePath",
    "SetFSBlockSize",
    "SetSocketBlockSize",
    "FileLock",
    "MakeLink",
    "GetFileHash",
    "SetFileModTime",
    "GetFileHashRange",
    "FileSetImmutableHint",
    "GetSizeOfPathContents",
    "RemovePathAndContents",
    "DirectoryOpen",
    "DirectoryOpenResult",
    "DirectoryRead",
    "DirectoryClose",
    "FileReadOffset",
    "FileWriteOffset",
};

}   // namespace

AfcPacket::ReadResult AfcPacket::read(ServiceStream &stream, AfcPacket *packet)
{
    packet->header = QByteArray(kHeaderSize, '\0');
    if (!stream.read(packet->header.data(), kHeaderSize))
        return End;
    if (!packet->header.startsWith(kMagic))
        return BadMagic;
    const char *fields = packet->header.constData();
    packet->entireLength = qFromLittleEndian<quint64>(fields + 8);
    packet->thisLength = qFromLittleEndian<quint64>(fields + 16);
    packet->packetNumber = qFromLittleEndian<quint64>(fields + 24);
    packet->operation = qFromLittleEndian<quint64>(fields + 32);
    if (packet->thisLength < quint64(kHeaderSize) || packet->entireLength < packet->thisLength
        || packet->entireLength > kMaxPacket)
        return BadLength;
    packet->payload = QByteArray(qsizetype(packet->thisLength - kHeaderSize), '\0');
    packet->data = QByteArray(qsizetype(packet->entireLength - packet->thisLength), '\0');
    if (!stream.read(packet->payload.data(), packet->payload.size()) || !stream.read(packet->data.data(), packet->data.size()))
        return CutShort;
    return Read;
}

QByteArray AfcPacket::encode(quint64 operation, quint64 packetNumber, const QByteArray &payload, const QByteArray &data)
{
    QByteArray packet(kHeaderSize, '\0');
    memcpy(packet.data(), kMagic, 8);
    qToLittleEndian(quint64(kHeaderSize + payload.size() + data.size()), packet.data() + 8);
    qToLittleEndian(quint64(kHeaderSize + payload.size()), packet.data() + 16);
    qToLittleEndian(packetNumber, packet.data() + 24);
    qToLittleEndian(operation, packet.data() + 32);
    return packet + payload + data;
}

QString AfcPacket::operationName(quint64 operation)
{
    if (operation < std::size(kOperationNames))
        return QLatin1String(kOperationNames[operation]);
    return QStringLiteral("Unknown");
}

quint64 AfcPacket::word(int index) const
{
    const QByteArray all = arguments();
    if (all.size() < (index + 1) * 8)
        return 0;
    return qFromLittleEndian<quint64>(all.constData() + index * 8);
}

QByteArray AfcPacket::textAt(qsizetype offset) const
{
    const QByteArray all = arguments().mid(offset);
    const qsizetype end = all.indexOf('\0');
    return end < 0 ? all : all.left(end);
}
