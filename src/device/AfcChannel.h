#pragma once

#include "device/Export.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The AFC protocol on one service socket: requests and their answers, strictly one at a
// time. Every packet starts with a 40-byte header: the magic "CFA6LPAA", then little-endian
// 64-bit words: entire length, this length (header + header payload), packet number and
// operation. Failures raise AppError with the protocol's texts.
class PARLEWICK_DEVICE_EXPORT AfcChannel
{
public:
    enum Operation : quint64 {
        Status = 1,
        Data = 2,
        ReadDirectory = 3,
        RemovePath = 8,
        MakeDirectory = 9,
        GetFileInfo = 10,
        FileOpen = 13,
        FileOpenResult = 14,
        FileRead = 15,
        FileWrite = 16,
        FileTellResult = 19,
        FileClose = 20,
        RenamePath = 24,
        FileLock = 27,
    };
    enum OpenMode : quint64 { ReadOnly = 1, ReadWrite = 2, WriteOnlyCreateTruncate = 3 };
    // Lock operations (flock's, with 4 for "do not block").
    enum LockOperation : quint64 { LockExclusive = 2 | 4, Unlock = 8 | 4 };
    // The status of a lock another holder keeps (AFC_E_OP_WOULD_BLOCK).
    static constexpr quint64 WouldBlock = 19;
    // The status that says a path does not exist (AFC_E_OBJECT_NOT_FOUND).
    static constexpr quint64 ObjectNotFound = 8;

    static constexpr qint64 HeaderSize = 40;
    // Longest answer accepted; reads ask for 64 KiB at a time, listings are far below it.
    static constexpr quint64 MaxAnswerLength = 16u << 20;

    explicit AfcChannel(int socket);   // takes over the socket of mobiledevice_start_service
    ~AfcChannel();
    AfcChannel(const AfcChannel &) = delete;
    AfcChannel &operator=(const AfcChannel &) = delete;

    int socket() const { return m_socket; }
    bool isOpen() const { return m_socket >= 0; }
    void close();   // closes the socket; later requests fail without touching it

    // Header, header payload (if any) and data (if any), each in a send of its own.
    void sendRequest(quint64 operation, const QByteArray &payload, const char *data = nullptr, qint64 dataLength = 0);
    // The bytes after the header of a data or handle answer. A status answer is handed back
    // through *status when given, else a non-zero status raises. A request or answer cut
    // short closes the channel: the socket's stream is out of step from then on.
    QByteArray receiveAnswer(quint64 *status = nullptr);
    QByteArray request(quint64 operation, const QByteArray &payload, quint64 *status = nullptr);

    static QByteArray word(quint64 value);                 // 8 bytes, little-endian
    static QByteArray pathArgument(const QString &path);   // UTF-8 + NUL

private:
    quint64 packetNumber() const;
    [[noreturn]] void breakDown(const QString &text);

    int m_socket;
};
