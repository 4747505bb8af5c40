#include "kikstore/KikFakeAttachment.h"

#include "kik/KikKeyedArchive.h"
#include "kikstore/KikFakeMedia.h"
#include "plist/CFType.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>

#include <stdexcept>

namespace {

constexpr int PictureCount = 24;

const char *const CardApps[] = {"Image Search", "Memes", "Viral Videos", "Sketch", "Kik Points"};

CFType entry(const char *nameKey, const QString &name, const char *valueKey, const CFType &value)
{
    CFType dict = CFType::newDictionary();
    dict.setValue(QLatin1String(nameKey), CFType(name));
    dict.setValue(QLatin1String(valueKey), value);
    return dict;
}

CFType named(const QString &name, const QString &value)
{
    return entry("name", name, "value", CFType(value));
}

}

KikFakeAttachment::KikFakeAttachment(KikFakeText &text, const QString &rootFolder)
    : m_text(text)
    , m_root(rootFolder)
{
    for (int i = 0; i < PictureCount; ++i) {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 360 / PictureCount, 200, 230));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        m_pictures.append(png);
    }
    for (const char *folder :
         {"Documents/attachments", "Documents/content_manager/data_cache", "Documents/content_manager/metadata_cache"})
        QDir(m_root).mkpath(QLatin1String(folder));
}

KikFakeAttachment::Kind KikFakeAttachment::pickKind()
{
    const int roll = m_text.below(100);
    if (roll < 40)
        return Gallery;
    if (roll < 60)
        return Camera;
    if (roll < 75)
        return Video;
    if (roll < 90)
        return Stickers;
    return Card;
}

KikFakeAttachment::Written KikFakeAttachment::write(const QString &contentId, Kind kind)
{
    Written written;
    QString fileUrl;
    const CFType dict = description(contentId, kind, written, &fileUrl);
    // Kik loses a description now and then; its attachment row stays.
    if (!m_text.chance(0.05)) {
        const bool xml = m_text.chance(0.25);
        writeFile(QStringLiteral("Documents/attachments/") + contentId,
                  dict.toPlistData(xml ? CFType::XmlFormat : CFType::BinaryFormat));
        written.description = true;
    }
    if (kind == Gallery || kind == Camera || kind == Video) {
        QByteArray data("\xFF\xD8\xFF\xE0", 4);
        const int size = 256 + m_text.below(1792);
        data.reserve(size);
        while (data.size() < size)
            data += char(m_text.below(256));
        writeMedia(contentId, written.appId, fileUrl, data);
        written.content = true;
    }
    return written;
}

void KikFakeAttachment::writeMedia(const QString &contentId, const QString &appId, const QString &fileUrl, const QByteArray &data)
{
    writeFile(QStringLiteral("Documents/content_manager/data_cache/") + contentId, data);
    writeFile(QStringLiteral("Documents/content_manager/metadata_cache/") + contentId,
              metadataArchive(contentId, appId, fileUrl).toPlistData(CFType::BinaryFormat));
}

// One shape of today's content: its app, the media file Kik fetched (none when it expired or
// was never fetched) and whether the description carries a preview.
struct KikFakeAttachment::TodayCase
{
    enum Media { NoMedia, Jpeg, Png, Webp, Gif, StickerPng, StickerWebp, Mp4, Mov };
    const char *appId;   // null: the description is gone
    const char *appName;
    Media media;
    bool preview;
};

KikFakeAttachment::Written KikFakeAttachment::writeToday(const QString &contentId)
{
    using C = TodayCase;
    static const TodayCase cases[] = {
        {"com.kik.ext.camera", "Camera", C::Jpeg, true},
        {"com.kik.ext.gallery", "Gallery", C::Png, true},
        {"com.kik.ext.gif", "GIF", C::Gif, true},
        {"com.kik.ext.stickers", "Stickers", C::StickerPng, true},
        {"com.kik.ext.video-camera", "Camera", C::Mp4, true},
        {"com.kik.cards", "Quiz Night", C::NoMedia, true},
        {"com.kik.ext.gallery", "Gallery", C::Webp, false},
        {"com.kik.ext.stickers", "Stickers", C::StickerWebp, false},
        {"com.kik.ext.video-gallery", "Gallery", C::Mov, true},
        {"com.kik.ext.gallery", "Gallery", C::NoMedia, true},
        {"com.kik.ext.gif", "GIF", C::NoMedia, true},
        {"com.kik.ext.camera", "Camera", C::NoMedia, false},
        {"com.kik.ext.video-gallery", "Gallery", C::NoMedia, true},
        {"com.kik.cards", "Web Link", C::NoMedia, false},
        {nullptr, nullptr, C::NoMedia, false},
    };
    const TodayCase &shape = cases[m_todayCount++ % int(std::size(cases))];
    Written written;
    written.preview = shape.preview;
    if (!shape.appId)
        return written;
    written.appId = QLatin1String(shape.appId);
    written.appName = QLatin1String(shape.appName);
    QString fileUrl;
    const CFType dict = todayDescription(contentId, shape, &fileUrl);
    writeFile(QStringLiteral("Documents/attachments/") + contentId, dict.toPlistData(CFType::BinaryFormat));
    written.description = true;

    const QColor colour = QColor::fromHsv(m_text.below(360), 200, 230);
    QByteArray media;
    switch (shape.media) {
    case C::Jpeg:
        media = KikFakeMedia::jpeg(colour);
        break;
    case C::Png:
    case C::StickerPng:
        media = KikFakeMedia::png(colour, shape.media == C::StickerPng);
        break;
    case C::Webp:
    case C::StickerWebp:
        media = KikFakeMedia::webp(colour);
        break;
    case C::Gif:
        media = KikFakeMedia::animatedGif();
        break;
    case C::Mp4:
    case C::Mov:
        media = KikFakeMedia::film(5 + m_text.below(120), shape.media == C::Mov);
        break;
    case C::NoMedia:
        return written;
    }
    writeMedia(contentId, written.appId, fileUrl, media);
    written.content = true;
    return written;
}

CFType KikFakeAttachment::todayDescription(const QString &contentId, const TodayCase &shape, QString *fileUrl)
{
    CFType dict = CFType::newDictionary();
    dict.setValue(QStringLiteral("app-id"), CFType(QLatin1String(shape.appId)));
    dict.setValue(QStringLiteral("id"), CFType(contentId));
    CFType hashes = CFType::newDictionary();
    hashes.setValue(QStringLiteral("sha1-original"), CFType(m_text.uuid().remove(u'-').toLower()));
    dict.setValue(QStringLiteral("hashes"), hashes);
    CFType images = CFType::newArray();
    if (shape.preview)
        images.append(entry("name", QStringLiteral("preview"), "value",
                            CFType(KikFakeMedia::jpeg(QColor::fromHsv(m_text.below(360), 90, 200), QSize(120, 90)))));
    dict.setValue(QStringLiteral("image"), images);

    CFType strings = CFType::newArray();
    strings.append(named(QStringLiteral("app-name"), QLatin1String(shape.appName)));
    strings.append(named(QStringLiteral("allow-forward"), QStringLiteral("true")));
    if (shape.media == TodayCase::Mp4 || shape.media == TodayCase::Mov || QLatin1String(shape.appId).contains(u"video"))
        strings.append(named(QStringLiteral("layout"), QStringLiteral("video")));
    if (QLatin1String(shape.appId) == QLatin1String("com.kik.cards")) {
        const QString url = QStringLiteral("https://cards.example.invalid/%1").arg(m_text.below(100000));
        strings.append(named(QStringLiteral("title"), m_text.body(false).left(40)));
        strings.append(named(QStringLiteral("text"), m_text.body(false).left(80)));
        CFType uri = CFType::newDictionary();
        uri.setValue(QStringLiteral("platform"), CFType("browser"));
        uri.setValue(QStringLiteral("url"), CFType(url));
        CFType uris = CFType::newArray();
        uris.append(uri);
        dict.setValue(QStringLiteral("uri"), uris);
    } else {
        *fileUrl = QStringLiteral("https://platform.kik.com/content/files/") + contentId;
        strings.append(named(QStringLiteral("file-size"), QString::number(1000 + m_text.below(400000))));
    }
    dict.setValue(QStringLiteral("string"), strings);
    return dict;
}

QByteArray KikFakeAttachment::picture()
{
    return m_pictures.at(m_text.below(int(m_pictures.size())));
}

CFType KikFakeAttachment::description(const QString &contentId, Kind kind, Written &written, QString *fileUrl)
{
    CFType dict = CFType::newDictionary();
    CFType images = CFType::newArray();
    CFType strings = CFType::newArray();
    CFType extras = CFType::newArray();
    images.append(entry("name", QStringLiteral("preview"), "value", CFType(picture())));

    switch (kind) {
    case Gallery:
    case Camera:
    case Video: {
        const bool video = kind == Video;
        written.appId = video            ? QStringLiteral("com.kik.ext.video")
                        : kind == Camera ? QStringLiteral("com.kik.ext.camera")
                                         : QStringLiteral("com.kik.ext.gallery");
        written.appName = QStringLiteral("Gallery");
        const QString suffix = video ? QStringLiteral(".MOV") : QStringLiteral(".JPG");
        // Some senders give a name without a suffix.
        const QString fileName =
            QStringLiteral("IMG_%1").arg(1000 + m_text.below(9000)) + (m_text.chance(0.8) ? suffix : QString());
        *fileUrl = QStringLiteral("https://platform.kik.com/content/files/") + contentId;
        strings.append(named(QStringLiteral("app-name"), written.appName));
        strings.append(named(QStringLiteral("file-name"), fileName));
        strings.append(named(QStringLiteral("file-size"), QString::number(10000 + m_text.below(4000000))));
        strings.append(named(QStringLiteral("allow-forward"), QStringLiteral("true")));
        if (video)
            strings.append(named(QStringLiteral("layout"), QStringLiteral("video")));
        // Usually the URL is only in the metadata cache.
        if (m_text.chance(0.3))
            strings.append(named(QStringLiteral("file-url"), *fileUrl));
        break;
    }
    case Stickers: {
        written.appId = QStringLiteral("com.kik.cards");
        written.appName = QStringLiteral("Stickers");
        images.append(entry("name", QStringLiteral("png-preview"), "value", CFType(picture())));
        strings.append(named(QStringLiteral("app-name"), written.appName));
        strings.append(named(QStringLiteral("title"), QStringLiteral("Sticker")));
        const QString url = QStringLiteral("https://stickers.kik.com/pack/%1.png").arg(m_text.below(500));
        extras.append(entry("key", QStringLiteral("sticker_url"), "val", CFType(url)));
        break;
    }
    case Card: {
        written.appId = QStringLiteral("com.kik.cards");
        written.appName = QString::fromLatin1(CardApps[m_text.below(int(std::size(CardApps)))]);
        const QString url =
            QStringLiteral("https://cards.kik.com/%1/%2").arg(written.appName.toLower().remove(u' ')).arg(m_text.below(100000));
        images.append(
            entry("name", QStringLiteral("icon"), "value", CFType(QStringLiteral("card-icon-%1.png").arg(m_text.below(8)))));
        strings.append(named(QStringLiteral("app-name"), written.appName));
        strings.append(named(QStringLiteral("title"), m_text.body(false).left(40)));
        extras.append(entry("key", QStringLiteral("jsonData"), "val",
                            CFType(QStringLiteral("{\"url\":\"%1\",\"pic\":\"%1.jpg\"}").arg(url))));
        CFType uris = CFType::newArray();
        for (int i = 0, n = 1 + m_text.below(2); i < n; ++i) {
            CFType uri = CFType::newDictionary();
            uri.setValue(QStringLiteral("platform"), CFType(i == 0 ? "cards" : "browser"));
            uri.setValue(QStringLiteral("url"), CFType(url));
            uris.append(uri);
        }
        dict.setValue(QStringLiteral("uri"), uris);
        break;
    }
    }
    dict.setValue(QStringLiteral("app-id"), CFType(written.appId));
    dict.setValue(QStringLiteral("id"), CFType(contentId));
    dict.setValue(QStringLiteral("image"), images);
    dict.setValue(QStringLiteral("string"), strings);
    if (extras.count() > 0)
        dict.setValue(QStringLiteral("extra"), extras);
    return dict;
}

void KikFakeAttachment::writeFile(const QString &relativePath, const QByteArray &data)
{
    QFile file(m_root + QLatin1Char('/') + relativePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        throw std::runtime_error(QStringLiteral("Can not write %1: %2").arg(file.fileName(), file.errorString()).toStdString());
}
