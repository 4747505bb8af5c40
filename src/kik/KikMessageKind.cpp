#include "kik/KikMessageKind.h"

#include "kik/KikMessage.h"

namespace {

const QLatin1String CameraApp("com.kik.ext.camera");
const QLatin1String GalleryApp("com.kik.ext.gallery");
const QLatin1String VideoApp("com.kik.ext.video");
const QLatin1String CardsApp("com.kik.cards");

}   // namespace

KikMessageKind messageKindOf(const QString &appId, Qt::CaseSensitivity cs)
{
    if (appId.startsWith(CameraApp, cs) || appId.startsWith(GalleryApp, cs))
        return KikMessageKind::Picture;
    if (appId.startsWith(VideoApp, cs))
        return KikMessageKind::Video;
    if (appId.startsWith(CardsApp, cs))
        return KikMessageKind::Card;
    return KikMessageKind::Text;
}

KikMessageKind messageKindOf(const _KikMessage *message)
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
