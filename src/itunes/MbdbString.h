#pragma once

#include "itunes/Export.h"

#include <QByteArray>
#include <QString>

// A string of Manifest.mbdb: a 2-byte length word and that many UTF-8 bytes. The words 0 and
// 0xFFFF both mean "empty, no bytes follow"; the word read is kept so that a record written
// back comes out byte for byte as it was read.
struct PARLEWICK_ITUNES_EXPORT MbdbString
{
    static constexpr quint16 kAbsent = 0xFFFF;

    QByteArray bytes;
    quint16 emptyWord = kAbsent;   // length word written when bytes is empty

    MbdbString() = default;
    MbdbString(const QByteArray &value)
        : bytes(value)
    {
    }   // NOLINT: implicit by design

    bool isEmpty() const { return bytes.isEmpty(); }
    QString toString() const { return QString::fromUtf8(bytes); }
    quint16 lengthWord() const { return bytes.isEmpty() ? emptyWord : quint16(bytes.size()); }

    bool operator==(const MbdbString &other) const = default;
};
