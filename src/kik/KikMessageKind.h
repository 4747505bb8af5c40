#pragma once

#include "kik/Export.h"

#include <QString>

class KikMessage;

// What a message carries, read from the app that sent it. Every view, export, worker and the
// command line asks here, so a new kind is taught in one place.
enum class KikMessageKind { Text, Picture, Video, Gif, Sticker, Card };

// The cards the program draws as pictures of their own; any other card is an OtherCard.
enum class KikCardKind { ImageSearch, KikPoints, Memes, Stickers, ViralVideos, Sketch, OtherCard };

// Kik on the phone matches app ids exactly; reading forgives their case.
PARLEWICK_KIK_EXPORT KikMessageKind messageKindOf(const QString &appId, Qt::CaseSensitivity cs = Qt::CaseInsensitive);
PARLEWICK_KIK_EXPORT KikMessageKind messageKindOf(const KikMessage *message);
PARLEWICK_KIK_EXPORT KikCardKind cardKindOf(const QString &subAppId);

// The kind's name on the command line's JSON: "text", "picture", "video", "gif", "sticker", "card".
PARLEWICK_KIK_EXPORT QString messageKindName(KikMessageKind kind);

// Everything but cards and text keeps its file in the content manager.
inline bool carriesMediaFile(KikMessageKind kind)
{
    return kind == KikMessageKind::Picture || kind == KikMessageKind::Video || kind == KikMessageKind::Gif
           || kind == KikMessageKind::Sticker;
}
