#include "kik/KikMessageKind.h"

#include "kik/KikMessage.h"

namespace {

const QLatin1String CameraApp("com.kik.ext.camera");
const QLatin1String GalleryApp("com.kik.ext.gallery");
const QLatin1String VideoApp("com.kik.ext.video");   // also video-camera and video-gallery
const QLatin1String GifApp("com.kik.ext.gif");
const QLatin1String StickersApp("com.kik.ext.stickers");
const QLatin1String CardsApp("com.kik.cards");

}   // namespace

KikMessageKind messageKindOf(const QString &appId, Qt::CaseSensitivity cs)
{
    if (appId.startsWith(CameraApp, cs) || appId.startsWith(GalleryApp, cs))
        return KikMessageKind::Picture;
    if (appId.startsWith(VideoApp, cs))
        return KikMessageKind::Video;
    if (appId.startsWith(GifApp, cs))
        return KikMessageKind::Gif;
    if (appId.startsWith(StickersApp, cs))
        return KikMessageKind::Sticker;
    if (appId.startsWith(CardsApp, cs))
        return KikMessageKind::Card;
    return KikMessageKind::Text;
}

KikMessageKind messageKindOf(const KikMessage *message)
{
    return messageKindOf(message->app_id);
}

KikCardKind cardKindOf(const QString &subAppId)
{
    static const struct
    {
        QLatin1String name;
        KikCardKind kind;
    } cards[] = {
        {QLatin1String("Image Search"), KikCardKind::ImageSearch},
        {QLatin1String("Kik Points"), KikCardKind::KikPoints},
        {QLatin1String("Memes"), KikCardKind::Memes},
        {QLatin1String("Stickers"), KikCardKind::Stickers},
        {QLatin1String("Viral Videos"), KikCardKind::ViralVideos},
        {QLatin1String("Sketch"), KikCardKind::Sketch},
    };
    for (const auto &card : cards) {
        if (subAppId.compare(card.name, Qt::CaseInsensitive) == 0)
            return card.kind;
    }
    return KikCardKind::OtherCard;
}

QString messageKindName(KikMessageKind kind)
{
    switch (kind) {
    case KikMessageKind::Picture:
        return QStringLiteral("picture");
    case KikMessageKind::Video:
        return QStringLiteral("video");
    case KikMessageKind::Gif:
        return QStringLiteral("gif");
    case KikMessageKind::Sticker:
        return QStringLiteral("sticker");
    case KikMessageKind::Card:
        return QStringLiteral("card");
    case KikMessageKind::Text:
        break;
    }
    return QStringLiteral("text");
}
