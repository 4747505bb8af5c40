#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>

// Bytes as a phone service puts them on the wire.

// A literal with its inner NULs.
template <size_t N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

// A 64-bit little-endian word.
QByteArray le64(quint64 value);
