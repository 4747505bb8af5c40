#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>

// Bytes as a phone service puts them on the wire, or a phone into its backup.

// A literal with its inner NULs.
template <size_t N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

// A 64-bit little-endian word.
QByteArray le64(quint64 value);

// A 32-bit big-endian word.
QByteArray be32(quint32 value);

// A keybag record: 4-byte tag, 32-bit big-endian length, value.
QByteArray tlv(const char *tag, const QByteArray &value);
