#include "kikstore/KikFakeAttachment.h"

#include "kik/KikKeyedArchive.h"
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
        writeFile(QStringLiteral("Documents/content_manager/data_cache/") + contentId, data);
        writeFile(QStringLiteral("Documents/content_manager/metadata_cache/") + contentId,
                  metadataArchive(contentId, written.appId, fileUrl).toPlistData(CFType::BinaryFormat));
        written.content = true;
    }
    return written;
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
