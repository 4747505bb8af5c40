#include "kik/KikMedia.h"

#include "kik/KikMessage.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace {

bool isNonEmptyFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

// One box of an MP4 or QuickTime file: its type and where its content lies.
struct Box
{
    QByteArray type;
    qint64 contentStart = 0;
    qint64 end = 0;
};

// The box starting at offset, within a parent ending at limit; false when none fits there.
bool readBox(QFile &file, qint64 offset, qint64 limit, Box *box)
{
    if (offset + 8 > limit || !file.seek(offset))
        return false;
    const QByteArray head = file.read(16);
    if (head.size() < 8)
        return false;
    quint64 size = qFromBigEndian<quint32>(head.constData());
    qint64 headSize = 8;
    if (size == 1) {
        if (head.size() < 16)
            return false;
        size = qFromBigEndian<quint64>(head.constData() + 8);
        headSize = 16;
    } else if (size == 0) {
        size = quint64(limit - offset);
    }
    if (size < quint64(headSize) || size > quint64(limit - offset))
        return false;
    *box = {head.mid(4, 4), offset + headSize, offset + qint64(size)};
    return true;
}

// The first box of the given type among the children from start to limit.
bool findBox(QFile &file, qint64 start, qint64 limit, const char *type, Box *found)
{
    Box box;
    // A hostile file could chain millions of empty boxes; real ones have a handful.
    for (int i = 0; i < 4096 && readBox(file, start, limit, &box); ++i) {
        if (box.type == type) {
            *found = box;
            return true;
        }
        start = box.end;
    }
    return false;
}

}   // namespace

KikMediaType mediaTypeOfBytes(const QByteArray &head)
{
    if (head.startsWith("\xFF\xD8\xFF"))
        return KikMediaType::Jpeg;
    if (head.startsWith("\x89PNG\r\n\x1A\n"))
        return KikMediaType::Png;
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return KikMediaType::Gif;
    if (head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return KikMediaType::Webp;
    if (head.size() >= 12 && head.mid(4, 4) == "ftyp")
        return head.mid(8, 4) == "qt  " ? KikMediaType::Mov : KikMediaType::Mp4;
    return KikMediaType::Unknown;
}

KikMediaType mediaTypeOfFile(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return KikMediaType::Unknown;
    return mediaTypeOfBytes(file.read(16));
}

QString mediaSuffix(KikMediaType type)
{
    switch (type) {
    case KikMediaType::Jpeg:
        return QStringLiteral("jpg");
    case KikMediaType::Png:
        return QStringLiteral("png");
    case KikMediaType::Gif:
        return QStringLiteral("gif");
    case KikMediaType::Webp:
        return QStringLiteral("webp");
    case KikMediaType::Mp4:
        return QStringLiteral("mp4");
    case KikMediaType::Mov:
        return QStringLiteral("mov");
    case KikMediaType::Unknown:
        break;
    }
    return QString();
}

bool isPictureType(KikMediaType type)
{
    return type == KikMediaType::Jpeg || type == KikMediaType::Png || type == KikMediaType::Gif || type == KikMediaType::Webp;
}

bool isVideoType(KikMediaType type)
{
    return type == KikMediaType::Mp4 || type == KikMediaType::Mov;
}

qint64 videoSeconds(const QString &path)
{
    QFile file(path);
    if (!isVideoType(mediaTypeOfFile(path)) || !file.open(QIODevice::ReadOnly))
        return -1;
    Box moov;
    Box mvhd;
    if (!findBox(file, 0, file.size(), "moov", &moov) || !findBox(file, moov.contentStart, moov.end, "mvhd", &mvhd)
        || !file.seek(mvhd.contentStart))
        return -1;
    const QByteArray header = file.read(32);
    if (header.isEmpty())
        return -1;
    // Version 1 has 64-bit times and length, version 0 32-bit ones.
    const bool wide = header.at(0) == 1;
    const int scaleAt = wide ? 20 : 12;
    if (header.size() < scaleAt + (wide ? 12 : 8))
        return -1;
    const quint32 scale = qFromBigEndian<quint32>(header.constData() + scaleAt);
    const quint64 length = wide ? qFromBigEndian<quint64>(header.constData() + scaleAt + 4)
                                : qFromBigEndian<quint32>(header.constData() + scaleAt + 4);
    if (scale == 0 || (!wide && length == 0xFFFFFFFFu) || (wide && length == ~quint64(0)))
        return -1;
    return qint64(length / scale);
}

QString videoLengthText(qint64 seconds)
{
    const QString secondsText = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(secondsText);
    return QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0')).arg(secondsText);
}

KikMediaFile messageMediaFile(const KikMessage *message)
{
    const QString path = message->content_path;
    if (!isNonEmptyFile(path))
        return {};
    return {path, mediaTypeOfFile(path)};
}

QString messagePreviewPath(const KikMessage *message)
{
    for (const QString &path : {QString(message->preview_path), QString(message->png_preview_path)}) {
        if (isNonEmptyFile(path))
            return path;
    }
    return QString();
}

QString mediaCopyName(const KikMessage *message, const KikMediaFile &media)
{
    const QString name = QFileInfo(media.path).fileName();
    const QString suffix = mediaSuffix(media.type);
    if (suffix.isEmpty() || QFileInfo(name).suffix().compare(suffix, Qt::CaseInsensitive) == 0)
        return name.isEmpty() ? message->content_id : name;
    return name + QLatin1Char('.') + suffix;
}
