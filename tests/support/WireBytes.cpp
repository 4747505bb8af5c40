#include "WireBytes.h"

#include <QtEndian>

QByteArray le64(quint64 value)
{
    QByteArray word(8, '\0');
    qToLittleEndian(value, word.data());
    return word;
}
