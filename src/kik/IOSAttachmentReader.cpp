#include "kik/IOSAttachmentReader.h"

#include "app/FileUtils.h"
#include "kik/KikFileNames.h"
#include "kik/KikKeyedArchive.h"
#include "kik/KikMessage.h"
#include "kik/KikMessageKind.h"
#include "plist/CFType.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// A description holds a few preview pictures; a file far larger than this is not one.
constexpr qint64 MaxDescriptionSize = 32 << 20;

const QString AttachmentsDir = QStringLiteral("/Documents/attachments/");
const QString MetadataDir = QStringLiteral("/Documents/content_manager/metadata_cache/");
const QString DataDir = QStringLiteral("/Documents/content_manager/data_cache/");

// Values are texts in practice; numbers and booleans keep their value as text.
QString textOf(const CFType &value)
{
    if (value.isString())
        return value.toQString();
    if (value.isNumber() || value.isBoolean())
        return value.toDisplayString();
    return QString();
}

}

IOSAttachmentReader::IOSAttachmentReader(const QString &rootFolder, const QString &thumbsFolder)
    : m_root(rootFolder)
    , m_thumbs(thumbsFolder)
{
}

void IOSAttachmentReader::read(KikMessage *message)
{
    const QString &contentId = message->content_id;
    if (!isPlainFileName(contentId)) {
        qDebug("IOSKikDb: content id %s is not a plain file name; its files are not read", qUtf8Printable(contentId));
        return;
    }
    readDescription(message, m_root + AttachmentsDir + contentId);
    QVariantHash &map = message->attachment;
    message->sub_app_id = m_pool.intern(map.value(QStringLiteral("string:app-name")).toString());
    message->preview_path = thumbPath(map, QStringLiteral("image:preview"));
    message->icon_path = thumbPath(map, QStringLiteral("image:icon"));
    message->png_preview_path = thumbPath(map, QStringLiteral("image:png-preview"));
    message->content_path = m_root + DataDir + contentId;
}

void IOSAttachmentReader::readDescription(KikMessage *message, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    if (file.size() > MaxDescriptionSize) {
        qDebug("IOSKikDb: %s is too large for an attachment description; skipped", qUtf8Printable(path));
        return;
    }
    const CFType description = CFType::fromPlistData(file.readAll());
    if (!description.isDictionary())
        return;
    QVariantHash &map = message->attachment;
    message->app_id = m_pool.intern(textOf(description.value(QStringLiteral("app-id"))));
    addNamedEntries(map, description.value(QStringLiteral("extra")), QStringLiteral("extra:"), QStringLiteral("key"),
                    QStringLiteral("val"));

    const CFType images = description.value(QStringLiteral("image"));
    for (int i = 0; i < images.count(); ++i) {
        const CFType image = images.at(i);
        const QString name = textOf(image.value(QStringLiteral("name")));
        if (name.isEmpty())
            continue;
        const QString picture = pictureName(image.value(QStringLiteral("value")));
        if (!picture.isEmpty())
            map.insert(m_pool.intern(QStringLiteral("image:") + name), picture);
    }

    addNamedEntries(map, description.value(QStringLiteral("string")), QStringLiteral("string:"), QStringLiteral("name"),
                    QStringLiteral("value"));

    const CFType uris = description.value(QStringLiteral("uri"));
    if (uris.isArray()) {
        QVariantList list;
        for (int i = 0; i < uris.count(); ++i) {
            const CFType uri = uris.at(i);
            if (!uri.isDictionary())
                continue;
            QVariantHash entry;
            for (const CFType &key : uri.keys())
                entry.insert(key.toQString(), textOf(uri.value(key)));
            list.append(entry);
        }
        map.insert(QStringLiteral("uri"), list);
    }

    const QString fileUrlKey = QStringLiteral("string:file-url");
    if (carriesMediaFile(messageKindOf(message)) && map.value(fileUrlKey).toString().isEmpty()) {
        const QString url = readKeyedArchive(m_root + MetadataDir + message->content_id).value(QStringLiteral("fileURL"));
        if (!url.isEmpty())
            map.insert(m_pool.intern(fileUrlKey), url);
    }
}

// Entries of an array of dictionaries: each non-empty name N gives prefix + N = value.
void IOSAttachmentReader::addNamedEntries(QVariantHash &map, const CFType &array, const QString &prefix, const QString &nameKey,
                                          const QString &valueKey)
{
    for (int i = 0; i < array.count(); ++i) {
        const CFType entry = array.at(i);
        const QString name = textOf(entry.value(nameKey));
        if (!name.isEmpty())
            map.insert(m_pool.intern(prefix + name), textOf(entry.value(valueKey)));
    }
}

// The file name a picture entry stands for: bytes are written out under their MD5, a text
// value is taken as the name of a picture already there.
QString IOSAttachmentReader::pictureName(const CFType &value)
{
    if (value.isData())
        return writePicture(value.toByteArray());
    return m_pool.intern(textOf(value));
}

QString IOSAttachmentReader::writePicture(const QByteArray &bytes)
{
    const QString name = m_pool.intern(md5Hex(bytes, true));
    if (m_picturesPresent.contains(name))
        return name;
    const QString path = m_thumbs + QLatin1Char('/') + name;
    if (QFileInfo(path).size() <= 0) {
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
            qDebug("IOSKikDb: can not write the picture %s: %s", qUtf8Printable(path), qUtf8Printable(out.errorString()));
            return name;
        }
    }
    m_picturesPresent.insert(name);
    return name;
}

QString IOSAttachmentReader::thumbPath(const QVariantHash &map, const QString &key)
{
    const QString name = map.value(key).toString();
    if (name.isEmpty())
        return QString();
    const QString path = fileInFolder(m_thumbs, name);
    if (path.isEmpty())
        qDebug("IOSKikDb: picture name %s is not a plain file name; ignored", qUtf8Printable(name));
    return m_pool.intern(path);
}
