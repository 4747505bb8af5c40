#pragma once

#include "db/Export.h"

#include <QByteArray>
#include <QVariant>
#include <QVariantHash>

class QIODevice;

// The "tinykv" blob: a variant hash as "tinykv" + (text key, tagged value)*, little-endian.
// toTinyKv gives a null array on failure; fromTinyKv an empty hash on a broken blob.
PARLEWICK_DB_EXPORT QByteArray toTinyKv(const QVariantHash &hash);
PARLEWICK_DB_EXPORT QVariantHash fromTinyKv(const QByteArray &blob);

namespace TinyKv {
PARLEWICK_DB_EXPORT bool writeHash(QIODevice &out, const QVariantHash &hash);
PARLEWICK_DB_EXPORT bool readHash(QIODevice &in, QVariantHash &hash);
PARLEWICK_DB_EXPORT bool writeValue(QIODevice &out, const QVariant &value);
PARLEWICK_DB_EXPORT bool readValue(QIODevice &in, QVariant &value);

// Fixed-width primitives: true only when exactly the needed bytes were transferred.
PARLEWICK_DB_EXPORT bool writeU8(QIODevice &out, quint8 v);
PARLEWICK_DB_EXPORT bool writeI32(QIODevice &out, qint32 v);
PARLEWICK_DB_EXPORT bool writeI64(QIODevice &out, qint64 v);
PARLEWICK_DB_EXPORT bool writeF64(QIODevice &out, double v);
PARLEWICK_DB_EXPORT bool writeBytes(QIODevice &out, const QByteArray &v);
PARLEWICK_DB_EXPORT bool writeText(QIODevice &out, const QString &v);
PARLEWICK_DB_EXPORT bool readU8(QIODevice &in, quint8 &v);
PARLEWICK_DB_EXPORT bool readI32(QIODevice &in, qint32 &v);
PARLEWICK_DB_EXPORT bool readI64(QIODevice &in, qint64 &v);
PARLEWICK_DB_EXPORT bool readF64(QIODevice &in, double &v);
PARLEWICK_DB_EXPORT bool readBytes(QIODevice &in, QByteArray &v);
PARLEWICK_DB_EXPORT bool readText(QIODevice &in, QString &v);
}
