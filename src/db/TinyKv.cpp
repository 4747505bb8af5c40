#include "db/TinyKv.h"

#include <QBuffer>
#include <QIODevice>
#include <QtEndian>

#include <cstring>
#include <limits>

namespace {

const char kMagic[] = "tinykv";
const qint64 kMagicSize = 6;
// Nesting deeper than any real attachment map; stops a hostile blob from exhausting the stack.
const int kMaxDepth = 100;
// Length fields are not trusted: data arrives in pieces of at most this size.
const qint64 kReadChunk = 64 * 1024;

bool writeHashAt(QIODevice &out, const QVariantHash &hash, int depth);
bool readHashAt(QIODevice &in, QVariantHash &hash, int depth);
bool writeValueAt(QIODevice &out, const QVariant &value, int depth);
bool readValueAt(QIODevice &in, QVariant &value, int depth);

template <typename T>
bool writeLittleEndian(QIODevice &out, T v)
{
    char bytes[sizeof(T)];
    qToLittleEndian(v, bytes);
    return out.write(bytes, sizeof(T)) == qint64(sizeof(T));
}

template <typename T>
bool readLittleEndian(QIODevice &in, T &v)
{
    char bytes[sizeof(T)];
    if (in.read(bytes, sizeof(T)) != qint64(sizeof(T)))
        return false;
    v = qFromLittleEndian<T>(bytes);
    return true;
}

// Qt 6 also offers strings and byte arrays as lists, and JSON values as both hash and
// list; only real containers count here.
bool isHashLike(const QVariant &value)
{
    return value.canConvert<QVariantHash>() && !value.canConvert<QVariantList>();
}

bool isListLike(const QVariant &value)
{
    const int type = value.typeId();
    return type != QMetaType::QString && type != QMetaType::QByteArray && value.canConvert<QVariantList>()
           && !value.canConvert<QVariantHash>();
}

QByteArray tinyKvAt(const QVariantHash &hash, int depth)
{
    QByteArray blob;
    QBuffer buffer(&blob);
    buffer.open(QIODevice::WriteOnly);
    if (!writeHashAt(buffer, hash, depth))
        return QByteArray();
    return blob;
}

QVariantHash hashFromTinyKvAt(const QByteArray &blob, int depth)
{
    QBuffer buffer;
    buffer.setData(blob);
    buffer.open(QIODevice::ReadOnly);
    QVariantHash hash;
    if (!readHashAt(buffer, hash, depth))
        return QVariantHash();
    return hash;
}

bool writeListAt(QIODevice &out, const QVariantList &list, int depth)
{
    QByteArray inner;
    QBuffer buffer(&inner);
    buffer.open(QIODevice::WriteOnly);
    if (list.size() > std::numeric_limits<qint32>::max() || !TinyKv::writeI32(buffer, qint32(list.size())))
        return false;
    for (const QVariant &element : list) {
        if (!writeValueAt(buffer, element, depth + 1))
            return false;
    }
    return TinyKv::writeBytes(out, inner);
}

bool readListAt(QIODevice &in, QVariant &value, int depth)
{
    QByteArray inner;
    if (!TinyKv::readBytes(in, inner))
        return false;
    QBuffer buffer(&inner);
    buffer.open(QIODevice::ReadOnly);
    qint32 count = 0;
    if (!TinyKv::readI32(buffer, count))
        return false;
    QVariantList list;   // no reserve(count): the count is not trusted
    for (qint32 i = 0; i < count; ++i) {
        QVariant element;
        if (!readValueAt(buffer, element, depth + 1))
            return false;
        list.append(element);
    }
    value = list;
    return true;
}

bool writeValueAt(QIODevice &out, const QVariant &value, int depth)
{
    if (isHashLike(value)) {
        if (depth >= kMaxDepth)
            return false;
        const QByteArray nested = tinyKvAt(value.toHash(), depth + 1);
        return !nested.isNull() && TinyKv::writeU8(out, '{') && TinyKv::writeBytes(out, nested);
    }
    if (isListLike(value))
        return depth < kMaxDepth && TinyKv::writeU8(out, '[') && writeListAt(out, value.toList(), depth);

    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
        return TinyKv::writeU8(out, 'i') && TinyKv::writeI32(out, qint32(value.toInt()));
    case QMetaType::UInt:
        return TinyKv::writeU8(out, 'i') && TinyKv::writeI32(out, qint32(value.toUInt()));
    case QMetaType::QChar:
        return TinyKv::writeU8(out, 'i') && TinyKv::writeI32(out, value.toChar().unicode());
    case QMetaType::Long:
    case QMetaType::LongLong:
        return TinyKv::writeU8(out, 'l') && TinyKv::writeI64(out, value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return TinyKv::writeU8(out, 'l') && TinyKv::writeI64(out, qint64(value.toULongLong()));
    case QMetaType::Float:
    case QMetaType::Double:
        return TinyKv::writeU8(out, 'd') && TinyKv::writeF64(out, value.toDouble());
    case QMetaType::QString:
        return TinyKv::writeU8(out, 's') && TinyKv::writeText(out, value.toString());
    case QMetaType::QByteArray:
        return TinyKv::writeU8(out, 'v') && TinyKv::writeBytes(out, value.toByteArray());
    default:   // date-times and every other type: kept as a placeholder, content dropped
        return TinyKv::writeU8(out, 'n');
    }
}

bool readValueAt(QIODevice &in, QVariant &value, int depth)
{
    quint8 tag = 0;
    if (!TinyKv::readU8(in, tag))
        return false;
    switch (tag) {
    case 'n':
        return true;   // the variant is left as it is
    case 'i': {
        qint32 v = 0;
        if (!TinyKv::readI32(in, v))
            return false;
        value = int(v);
        return true;
    }
    case 'l': {
        qint64 v = 0;
        if (!TinyKv::readI64(in, v))
            return false;
        value = v;
        return true;
    }
    case 'd': {
        double v = 0;
        if (!TinyKv::readF64(in, v))
            return false;
        value = v;
        return true;
    }
    case 's': {
        QString v;
        if (!TinyKv::readText(in, v))
            return false;
        value = v;
        return true;
    }
    case 'v': {
        QByteArray v;
        if (!TinyKv::readBytes(in, v))
            return false;
        value = v;
        return true;
    }
    case '[':
        return depth < kMaxDepth && readListAt(in, value, depth);
    case '{': {
        if (depth >= kMaxDepth)
            return false;
        QByteArray nested;
        if (!TinyKv::readBytes(in, nested))
            return false;
        value = hashFromTinyKvAt(nested, depth + 1);   // a broken inner blob is an empty hash
        return true;
    }
    default:
        return false;
    }
}

bool writeHashAt(QIODevice &out, const QVariantHash &hash, int depth)
{
    if (out.write(kMagic, kMagicSize) != kMagicSize)
        return false;
    for (auto it = hash.constBegin(); it != hash.constEnd(); ++it) {
        if (!TinyKv::writeText(out, it.key()) || !writeValueAt(out, it.value(), depth))
            return false;
    }
    return true;
}

bool readHashAt(QIODevice &in, QVariantHash &hash, int depth)
{
    char magic[kMagicSize];
    if (in.read(magic, kMagicSize) != kMagicSize || std::memcmp(magic, kMagic, kMagicSize) != 0)
        return false;
    hash.clear();
    for (;;) {
        QString key;
        if (!TinyKv::readText(in, key))
            return true;   // the blob ends where its data ends
        QVariant value;
        if (!readValueAt(in, value, depth)) {
            hash.clear();
            return false;
        }
        hash.insert(key, value);
    }
}

}

QByteArray toTinyKv(const QVariantHash &hash)
{
    return tinyKvAt(hash, 0);
}

QVariantHash fromTinyKv(const QByteArray &blob)
{
    return hashFromTinyKvAt(blob, 0);
}

namespace TinyKv {

bool writeHash(QIODevice &out, const QVariantHash &hash)
{
    return writeHashAt(out, hash, 0);
}

bool readHash(QIODevice &in, QVariantHash &hash)
{
    return readHashAt(in, hash, 0);
}

bool writeValue(QIODevice &out, const QVariant &value)
{
    return writeValueAt(out, value, 0);
}

bool readValue(QIODevice &in, QVariant &value)
{
    return readValueAt(in, value, 0);
}

bool writeU8(QIODevice &out, quint8 v)
{
    return writeLittleEndian(out, v);
}

bool writeI32(QIODevice &out, qint32 v)
{
    return writeLittleEndian(out, v);
}

bool writeI64(QIODevice &out, qint64 v)
{
    return writeLittleEndian(out, v);
}

bool writeF64(QIODevice &out, double v)
{
    quint64 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return writeLittleEndian(out, bits);
}

bool writeBytes(QIODevice &out, const QByteArray &v)
{
    if (v.size() > std::numeric_limits<qint32>::max())
        return false;
    return writeI32(out, qint32(v.size())) && out.write(v) == v.size();
}

bool writeText(QIODevice &out, const QString &v)
{
    return writeBytes(out, v.toUtf8());
}

bool readU8(QIODevice &in, quint8 &v)
{
    return readLittleEndian(in, v);
}

bool readI32(QIODevice &in, qint32 &v)
{
    return readLittleEndian(in, v);
}

bool readI64(QIODevice &in, qint64 &v)
{
    return readLittleEndian(in, v);
}

bool readF64(QIODevice &in, double &v)
{
    quint64 bits = 0;
    if (!readLittleEndian(in, bits))
        return false;
    std::memcpy(&v, &bits, sizeof v);
    return true;
}

bool readBytes(QIODevice &in, QByteArray &v)
{
    qint32 length = 0;
    if (!readI32(in, length) || length < 0)
        return false;
    QByteArray data;
    qint64 left = length;
    while (left > 0) {
        const QByteArray chunk = in.read(qMin(left, kReadChunk));
        if (chunk.isEmpty())
            return false;
        data += chunk;
        left -= chunk.size();
    }
    v = data.isNull() ? QByteArray("") : data;
    return true;
}

bool readText(QIODevice &in, QString &v)
{
    QByteArray bytes;
    if (!readBytes(in, bytes))
        return false;
    v = QString::fromUtf8(bytes);
    return true;
}

}
