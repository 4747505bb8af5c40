#include "WireBytes.h"

#include <QtEndian>

QByteArray le64(quint64 value)
{
    QByteArray word(8, '\0');
    qToLittleEndian(value, word.data());
    return word;
}

QByteArray be32(quint32 value)
{
    QByteArray word(4, '\0');
    qToBigEndian(value, word.data());
    return word;
}

QByteArray tlv(const char *tag, const QByteArray &value)
{
    return QByteArray(tag, 4) + be32(quint32(value.size())) + value;
}
