#pragma once

#include "kik/Export.h"

#include <QByteArray>
#include <QString>

class KikMessage;

// Kik keeps a message's media without a suffix ("content_manager/data_cache/<content id>"),
// and a sender's file name says little: the type is read from the file's first bytes.
enum class KikMediaType { Unknown, Jpeg, Png, Gif, Webp, Mp4, Mov };

PARLEWICK_KIK_EXPORT KikMediaType mediaTypeOfBytes(const QByteArray &head);
// Unknown for a file that is missing, empty or unreadable.
PARLEWICK_KIK_EXPORT KikMediaType mediaTypeOfFile(const QString &path);
// "jpg", "png", "gif", "webp", "mp4", "mov"; empty for Unknown.
PARLEWICK_KIK_EXPORT QString mediaSuffix(KikMediaType type);
PARLEWICK_KIK_EXPORT bool isPictureType(KikMediaType type);
PARLEWICK_KIK_EXPORT bool isVideoType(KikMediaType type);

// The length of an MP4 or QuickTime film in whole seconds, read from its movie header; -1 when
// the file does not say (or is no such film).
PARLEWICK_KIK_EXPORT qint64 videoSeconds(const QString &path);
// "m:ss", or "h:mm:ss" from an hour on.
PARLEWICK_KIK_EXPORT QString videoLengthText(qint64 seconds);

// A message's media file as it lies: its path when the file is there and not empty, else empty.
struct PARLEWICK_KIK_EXPORT KikMediaFile
{
    QString path;
    KikMediaType type = KikMediaType::Unknown;
};
PARLEWICK_KIK_EXPORT KikMediaFile messageMediaFile(const KikMessage *message);
// The small picture the description carries (its preview, else its PNG preview); empty when it
// has none on disk. It stays when the media itself expired or was never fetched.
PARLEWICK_KIK_EXPORT QString messagePreviewPath(const KikMessage *message);
// A file name for a copy of the media: the content id with the suffix of its type.
PARLEWICK_KIK_EXPORT QString mediaCopyName(const KikMessage *message, const KikMediaFile &media);
