#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// One rule of faults.plist "AnswerFaults": which answers it spoils and how. A real phone that
// misbehaves, or a hostile one, sends such answers; the program must survive every one.
//   Service   service name ("com.apple.mobile.lockdown", "com.apple.afc", ...), required
//   Request   lockdown Request / house_arrest Command (string) or AFC operation (integer); any if absent
//   Key       for lockdown GetValue: the Key asked; any if absent
//   Fault     "CloseAfter" | "HugeLength" | "Truncated" | "MalformedPlist" | "ZeroLength" |
//             "UnknownOperation" | "BadMagic" | "Status" (AFC: the request is not carried out and
//             answered with the status Code instead)
//   Bytes     CloseAfter: bytes of the answer sent before closing; Truncated: body bytes sent
//   Length    HugeLength: the length announced (default 3 GiB)
//   Operation UnknownOperation: the AFC operation code put in the answer (default 0x99)
//   Code      Status: the AFC status code (default 20, I/O error)
//   Skip      matching answers left alone first (default 0)
//   Count     matching answers spoiled after that (default 0 = all)
class AnswerFault
{
public:
    enum Kind { CloseAfter, HugeLength, Truncated, MalformedPlist, ZeroLength, UnknownOperation, BadMagic, Status };

    // False when the rule is not understood.
    static bool fromVariant(const QVariantMap &rule, AnswerFault *fault);

    bool matches(const QString &service, const QVariant &request, const QString &key) const;
    int skip() const { return m_skip; }
    int count() const { return m_count; }
    QString name() const;

    // The bytes that go out instead of a framed property list (4-byte length + body) ...
    QByteArray spoilPlistFrame(const QByteArray &body) const;
    // ... or instead of a whole AFC packet.
    QByteArray spoilAfcPacket(const QByteArray &packet) const;
    // The connection is closed after the spoiled answer.
    bool closesConnection() const;
    // An AFC request that is answered with statusCode() instead of being carried out.
    bool replacesAnswer() const { return m_kind == Status; }
    quint64 statusCode() const { return m_code; }

private:
    Kind m_kind = CloseAfter;
    QString m_service;
    QVariant m_request;
    QString m_key;
    qint64 m_bytes = -1;
    quint64 m_length = 3ULL << 30;
    quint64 m_operation = 0x99;
    quint64 m_code = 20;
    int m_skip = 0;
    int m_count = 0;
};
