#pragma once

#include "simiphone/ServiceStream.h"

#include <QByteArray>
#include <QString>

// AFC operation codes and status codes, as the phone uses them.
enum AfcOperation : quint64 {
    AfcStatus = 1,
    AfcData = 2,
    AfcReadDirectory = 3,
    AfcTruncate = 7,
    AfcRemovePath = 8,
    AfcMakeDirectory = 9,
    AfcGetFileInfo = 10,
    AfcGetDeviceInfo = 11,
    AfcFileOpen = 13,
    AfcFileOpenResult = 14,
    AfcFileRead = 15,
    AfcFileWrite = 16,
    AfcFileSeek = 17,
    AfcFileTell = 18,
    AfcFileTellResult = 19,
    AfcFileClose = 20,
    AfcFileSetSize = 21,
    AfcRenamePath = 24,
    AfcFileLock = 27,
    AfcSetFileModTime = 30,
    AfcRemovePathAndContents = 34,
    AfcLastKnownOperation = 40,
};

enum AfcError : quint64 {
    AfcSuccess = 0,
    AfcUnknownError = 1,
    AfcReadError = 4,
    AfcWriteError = 5,
    AfcUnknownPacketType = 6,
    AfcInvalidArgument = 7,
    AfcObjectNotFound = 8,
    AfcObjectIsDir = 9,
    AfcPermissionDenied = 10,
    AfcOperationNotSupported = 15,
    AfcObjectExists = 16,
    AfcNoSpaceLeft = 18,
    AfcIoError = 20,
    AfcDirNotEmpty = 33,
};

// One AFC packet: a 40-byte header of little-endian 64-bit fields after the magic
// "CFA6LPAA" (entire length, this length, packet number, operation), the header payload up to
// "this length", and data up to "entire length".
struct AfcPacket
{
    static constexpr qint64 kHeaderSize = 40;
    static constexpr quint64 kMaxPacket = 64ULL << 20;

    enum ReadResult { Read, End, BadMagic, BadLength, CutShort };

    quint64 entireLength = 0;
    quint64 thisLength = 0;
    quint64 packetNumber = 0;
    quint64 operation = 0;
    QByteArray header;    // the 40 bytes as received
    QByteArray payload;   // header payload
    QByteArray data;      // what follows it

    static ReadResult read(ServiceStream &stream, AfcPacket *packet);
    static QByteArray encode(quint64 operation, quint64 packetNumber, const QByteArray &payload,
                             const QByteArray &data = QByteArray());
    static QString operationName(quint64 operation);

    // The arguments are the header payload and the data taken together: clients differ in
    // where they draw the line.
    QByteArray arguments() const { return payload + data; }
    bool hasWords(int count) const { return arguments().size() >= count * 8; }
    quint64 word(int index) const;               // 8-byte little-endian argument
    QByteArray textAt(qsizetype offset) const;   // NUL-terminated argument
};
