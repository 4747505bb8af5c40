#pragma once

#include <QString>

class _KikMessage;

// What a message carries, read from the app that sent it. Every view, export, worker and the
// command line asks here, so a new kind is taught in one place.
enum class KikMessageKind { Text, Picture, Video, Card };

// The cards the program draws as pictures of their own; any other card is an OtherCard.
enum class KikCardKind { ImageSearch, KikPoints, Memes, Stickers, ViralVideos, Sketch, OtherCard };

// Kik on the phone matches app ids exactly; reading forgives their case.
KikMessageKind messageKindOf(const QString &appId, Qt::CaseSensitivity cs = Qt::CaseInsensitive);
KikMessageKind messageKindOf(const _KikMessage *message);
KikCardKind cardKindOf(const QString &subAppId);

// Pictures and videos keep their file in the content manager, and a link to it in the archive.
inline bool carriesMediaFile(KikMessageKind kind)
{
    return kind == KikMessageKind::Picture || kind == KikMessageKind::Video;
}
