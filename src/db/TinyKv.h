#pragma once

#include <QByteArray>
#include <QVariant>
#include <QVariantHash>

class QIODevice;

// The "tinykv" blob: a variant hash as "tinykv" + (text key, tagged value)*, little-endian.
// toTinyKv gives a null array on failure; fromTinyKv an empty hash on a broken blob.
QByteArray toTinyKv(const QVariantHash &hash);
QVariantHash fromTinyKv(const QByteArray &blob);

namespace TinyKv {
bool writeHash(QIODevice &out, const QVariantHash &hash);
bool readHash(QIODevice &in, QVariantHash &hash);
bool writeValue(QIODevice &out, const QVariant &value);
bool readValue(QIODevice &in, QVariant &value);

// Fixed-width primitives: true only when exactly the needed bytes were transferred.
bool writeU8(QIODevice &out, quint8 v);
bool writeI32(QIODevice &out, qint32 v);
bool writeI64(QIODevice &out, qint64 v);
bool writeF64(QIODevice &out, double v);
bool writeBytes(QIODevice &out, const QByteArray &v);
bool writeText(QIODevice &out, const QString &v);
bool readU8(QIODevice &in, quint8 &v);
bool readI32(QIODevice &in, qint32 &v);
bool readI64(QIODevice &in, qint64 &v);
bool readF64(QIODevice &in, double &v);
bool readBytes(QIODevice &in, QByteArray &v);
bool readText(QIODevice &in, QString &v);
}
