#include "plist/BinaryPlistView.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr qsizetype kTrailerBytes = 32;

quint64 readBigEndian(const uchar *p, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | p[i];
    return value;
}

}   // namespace

BinaryPlistView::BinaryPlistView(QByteArrayView data)
{
    if (data.size() < 8 + kTrailerBytes || !data.startsWith(QByteArrayView("bplist00")))
        return;
    const auto *begin = reinterpret_cast<const uchar *>(data.data());
    const uchar *trailer = begin + data.size() - kTrailerBytes;
    const int offsetSize = trailer[6];
    const int refSize = trailer[7];
    const quint64 count = readBigEndian(trailer + 8, 8);
    const quint64 root = readBigEndian(trailer + 16, 8);
    const quint64 tableAt = readBigEndian(trailer + 24, 8);
    const quint64 objectsEnd = quint64(data.size() - kTrailerBytes);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8)
        return;
    if (count == 0 || root >= count || tableAt < 8 || tableAt > objectsEnd
        || count > (objectsEnd - tableAt) / quint64(offsetSize))
        return;
    m_data = begin;
    m_objectsEnd = tableAt;   // writers put the objects before their offset table
    m_tableAt = tableAt;
    m_offsetSize = offsetSize;
    m_refSize = refSize;
    m_objectCount = count;
    m_root = root;
}

BinaryPlistView::Object BinaryPlistView::object(quint64 index) const
{
    Object object;
    if (index >= m_objectCount)
        return object;
    quint64 at = readBigEndian(m_data + m_tableAt + index * quint64(m_offsetSize), m_offsetSize);
    if (at < 8 || at >= m_objectsEnd)
        return object;
    const int type = m_data[at] >> 4;
    quint64 length = m_data[at] & 0x0F;
    ++at;
    const auto fits = [&](quint64 units, quint64 unitBytes) { return units <= (m_objectsEnd - at) / unitBytes; };
    Kind kind = Other;
    quint64 unitBytes = 1;
    switch (type) {
    case 0x1:
        if (length > 4)
            return object;
        kind = Integer;
        length = quint64(1) << length;
        break;
    case 0x2:
        if (length != 2 && length != 3)
            return object;
        kind = Real;
        length = quint64(1) << length;
        break;
    case 0x8:
        kind = Uid;
        length += 1;
        if (length > 8)
            return object;
        break;
    case 0x4:
        kind = Data;
        break;
    case 0x5:
        kind = AsciiString;
        break;
    case 0x6:
        kind = Utf16String;
        unitBytes = 2;
        break;
    case 0xA:
        kind = Array;
        unitBytes = quint64(m_refSize);
        break;
    case 0xC:
        kind = Set;
        unitBytes = quint64(m_refSize);
        break;
    case 0xD:
        kind = Dictionary;
        unitBytes = 2 * quint64(m_refSize);
        break;
    default:
        object.kind = Other;
        return object;
    }
    if (kind >= Data && length == 0x0F) {
        // A longer length follows as an integer object.
        if (at >= m_objectsEnd || (m_data[at] >> 4) != 0x1 || (m_data[at] & 0x0F) > 3)
            return object;
        const int sizeBytes = 1 << (m_data[at] & 0x0F);
        if (!fits(1 + quint64(sizeBytes), 1))
            return object;
        length = readBigEndian(m_data + at + 1, sizeBytes);
        at += 1 + quint64(sizeBytes);
    }
    if (!fits(length, unitBytes))
        return object;
    object.kind = kind;
    object.body = m_data + at;
    object.count = length;
    return object;
}

quint64 BinaryPlistView::reference(const Object &container, quint64 n) const
{
    if ((container.kind != Array && container.kind != Set && container.kind != Dictionary) || n >= referenceCount(container))
        return m_objectCount;
    return readBigEndian(container.body + n * quint64(m_refSize), m_refSize);
}

BinaryPlistView::Object BinaryPlistView::value(const Object &dictionary, QLatin1StringView key) const
{
    Object out;
    values(dictionary, &key, 1, &out);
    return out;
}

void BinaryPlistView::values(const Object &dictionary, const QLatin1StringView *keys, int count, Object *out) const
{
    for (int k = 0; k < count; ++k)
        out[k] = Object();
    if (dictionary.kind != Dictionary)
        return;
    for (quint64 i = 0; i < dictionary.count; ++i) {
        const Object candidate = object(reference(dictionary, i));
        if (candidate.kind != AsciiString && candidate.kind != Utf16String)
            continue;
        for (int k = 0; k < count; ++k) {
            const QLatin1StringView key = keys[k];
            if (out[k].kind != Broken || candidate.count != quint64(key.size()))
                continue;
            bool same = true;
            if (candidate.kind == AsciiString) {
                same = std::memcmp(candidate.body, key.data(), size_t(key.size())) == 0;
            } else {
                for (qsizetype c = 0; same && c < key.size(); ++c)
                    same = qFromBigEndian<quint16>(candidate.body + 2 * c) == quint16(uchar(key.data()[c]));
            }
            if (same) {
                out[k] = object(reference(dictionary, dictionary.count + i));
                // An equal key that points nowhere still hides later ones, as a parsed tree would.
                if (out[k].kind == Broken)
                    out[k].kind = Other;
                break;
            }
        }
    }
}

bool BinaryPlistView::number(const Object &object, qint64 *out)
{
    if (object.kind == Integer) {
        // A 16-byte integer keeps its value in the low half.
        const uchar *low = object.count == 16 ? object.body + 8 : object.body;
        *out = qint64(readBigEndian(low, int(std::min<quint64>(object.count, 8))));
        return true;
    }
    if (object.kind != Real)
        return false;
    const double real = object.count == 4 ? double(qFromBigEndian<float>(object.body)) : qFromBigEndian<double>(object.body);
    constexpr double kLimit = 9223372036854775807.0;
    *out = std::isnan(real)  ? 0
           : real >= kLimit  ? std::numeric_limits<qint64>::max()
           : real <= -kLimit ? std::numeric_limits<qint64>::min()
                             : qint64(real);
    return true;
}

quint64 BinaryPlistView::uid(const Object &object)
{
    return object.kind == Uid ? readBigEndian(object.body, int(object.count)) : 0;
}

QByteArrayView BinaryPlistView::bytes(const Object &object)
{
    if (object.kind != Data && object.kind != AsciiString)
        return {};
    return QByteArrayView(object.body, qsizetype(object.count));
}

QString BinaryPlistView::text(const Object &object)
{
    if (object.kind == AsciiString)
        return QString::fromUtf8(bytes(object));
    if (object.kind != Utf16String)
        return QString();
    QString text(qsizetype(object.count), Qt::Uninitialized);
    for (quint64 c = 0; c < object.count; ++c)
        text[qsizetype(c)] = QChar(qFromBigEndian<quint16>(object.body + 2 * c));
    return text;
}
