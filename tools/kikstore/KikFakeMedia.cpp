#include "kikstore/KikFakeMedia.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QtEndian>

namespace {

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray littleEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray box(const char *type, const QByteArray &content)
{
    return bigEndian32(quint32(8 + content.size())) + QByteArray(type, 4) + content;
}

// Bits written least significant first, as GIF and WebP pack them.
class BitWriter
{
public:
    void put(quint32 value, int bits)
    {
        for (int i = 0; i < bits; ++i, ++m_used) {
            if (m_used % 8 == 0)
                m_bytes.append('\0');
            if (value >> i & 1)
                m_bytes[m_bytes.size() - 1] = char(m_bytes.back() | 1 << (m_used % 8));
        }
    }
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
    int m_used = 0;
};

// One frame of 4x4 pixels of colours 0..3. Each pixel follows a clear code, so the codes
// stay three bits wide and no table is built.
QByteArray gifFrame(const int pixels[16])
{
    BitWriter codes;
    for (int i = 0; i < 16; ++i) {
        codes.put(4, 3);
        codes.put(quint32(pixels[i]), 3);
    }
    codes.put(5, 3);   // end of information
    const QByteArray data = codes.bytes();
    return QByteArray("\x21\xF9\x04\x04\x32\x00\x00\x00", 8)   // half a second, then the next frame
           + QByteArray("\x2C\x00\x00\x00\x00\x04\x00\x04\x00\x00", 10) + QByteArray("\x02", 1) + char(data.size()) + data
           + QByteArray("\x00", 1);
}

}   // namespace

namespace KikFakeMedia {

QByteArray jpeg(const QColor &colour, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return encoded(image, "JPEG");
}

QByteArray png(const QColor &colour, bool transparent)
{
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(transparent ? QColor(Qt::transparent) : QColor(Qt::white));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(2, 2, 20, 20);
    painter.end();
    return encoded(image, "PNG");
}

QByteArray animatedGif()
{
    static const int first[16] = {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 0, 0, 3, 3, 0, 0};
    static const int second[16] = {2, 2, 1, 1, 2, 2, 1, 1, 0, 0, 3, 3, 0, 0, 3, 3};
    return QByteArray("GIF89a\x04\x00\x04\x00\x81\x00\x00", 13)
           + QByteArray("\xFF\xFF\xFF\xE5\x39\x35\x2E\x86\xDE\x1E\x60\xC8", 12)   // white, red, green, blue
           + QByteArray("\x21\xFF\x0B"
                        "NETSCAPE2.0\x03\x01\x00\x00\x00",
                        19)
           + gifFrame(first) + gifFrame(second) + QByteArray("\x3B", 1);
}

QByteArray webp(const QColor &colour)
{
    constexpr int Side = 16;
    BitWriter bits;
    bits.put(0x2F, 8);        // lossless signature
    bits.put(Side - 1, 14);   // width and height less one
    bits.put(Side - 1, 14);
    bits.put(0, 1);   // no alpha
    bits.put(0, 3);   // version
    bits.put(0, 1);   // no transform
    bits.put(0, 1);   // no colour cache
    bits.put(0, 1);   // one set of codes for the whole image
    // Green, red, blue, alpha and distance codes, each one symbol long: no pixel costs a bit.
    for (const int value : {colour.green(), colour.red(), colour.blue(), 255, 0}) {
        bits.put(1, 1);   // a simple code
        bits.put(0, 1);   // of one symbol
        bits.put(1, 1);   // eight bits wide
        bits.put(quint32(value), 8);
    }
    const QByteArray chunk = bits.bytes();
    const QByteArray lossless = QByteArray("VP8L") + littleEndian32(quint32(chunk.size())) + chunk;
    const QByteArray body = QByteArray("WEBP") + lossless + (lossless.size() % 2 ? QByteArray(1, '\0') : QByteArray());
    return QByteArray("RIFF") + littleEndian32(quint32(body.size())) + body;
}

QByteArray film(int seconds, bool quickTime)
{
    const QByteArray brand = quickTime ? QByteArray("qt  ") : QByteArray("isom");
    const QByteArray ftyp = box("ftyp", brand + bigEndian32(0x200) + brand);
    QByteArray header = bigEndian32(0) + bigEndian32(0) + bigEndian32(0);   // version, flags, created, changed
    header += bigEndian32(1000) + bigEndian32(quint32(seconds) * 1000);     // time scale, length
    header += bigEndian32(0x00010000) + QByteArray("\x01\x00", 2) + QByteArray(10, '\0');
    for (const quint32 cell : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u})
        header += bigEndian32(cell);
    header += QByteArray(24, '\0') + bigEndian32(1);
    return ftyp + box("moov", box("mvhd", header)) + box("mdat", QByteArray());
}

}   // namespace KikFakeMedia
