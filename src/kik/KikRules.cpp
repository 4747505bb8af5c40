#include "kik/KikRules.h"

#include "app/FileUtils.h"
#include "kik/KikMessageKind.h"
#include "kik/NeighbourSort.h"
#include "plist/CFType.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <vector>

namespace {

// A group may list groups among its members. Nested names are looked up once, a group that
// reaches itself is left out, and the text stops growing past a size no real group reaches.
constexpr qsizetype MaxDisplayNameLength = 65536;

class DisplayNames
{
public:
    QString of(const KikUser *user)
    {
        if (!user->display_name.isEmpty())
            return standardEmoji(user->display_name);
        if (user->members.isEmpty())
            return QStringLiteral("Unknown");
        const auto known = m_done.constFind(user);
        if (known != m_done.constEnd())
            return known.value();
        m_path.insert(user);
        QString joined;
        bool first = true;
        for (const KikMember &member : user->members) {
            if (!member.user || m_path.contains(member.user))
                continue;
            if (!first)
                joined += QLatin1Char(',');
            joined += of(member.user);
            first = false;
            if (joined.size() > MaxDisplayNameLength) {
                joined.truncate(MaxDisplayNameLength);
                break;
            }
        }
        m_path.remove(user);
        m_done.insert(user, joined);
        return joined;
    }

private:
    QSet<const KikUser *> m_path;
    QHash<const KikUser *, QString> m_done;
};

// Reads Kik's render-instruction records: 2-byte numeric fields of which only the second byte
// counts, as a signed 8-bit value.
class RenderInsReader
{
public:
    explicit RenderInsReader(const QByteArray &blob)
        : m_blob(blob)
    {
    }

    struct Record
    {
        int start = 0;
        int end = 0;
        int textLength = 0;
        QString text;
        bool hasImage = false;
        QString image;
    };

    // False when the blob ends before the record does.
    bool next(Record *record)
    {
        int ignored = 0;
        int imageLength = 0;
        QByteArray text;
        QByteArray image;
        if (!field(&ignored) || !field(&record->start) || !field(&record->end) || !field(&record->textLength)
            || !bytes(record->textLength, &text) || !field(&imageLength))
            return false;
        record->hasImage = imageLength > 0;
        if (record->hasImage && !bytes(imageLength, &image))
            return false;
        record->text = QString::fromUtf8(text);
        record->image = QString::fromUtf8(image);
        return true;
    }

private:
    bool field(int *value)
    {
        if (m_pos + 2 > m_blob.size())
            return false;
        *value = static_cast<qint8>(m_blob.at(m_pos + 1));
        m_pos += 2;
        return true;
    }

    bool bytes(int count, QByteArray *out)
    {
        count = std::max(count, 0);
        if (m_pos + count > m_blob.size())
            return false;
        *out = m_blob.mid(m_pos, count);
        m_pos += count;
        return true;
    }

    const QByteArray &m_blob;
    qsizetype m_pos = 0;
};

qint64 absDifference(qint64 a, qint64 b)
{
    const quint64 diff = a > b ? quint64(a) - quint64(b) : quint64(b) - quint64(a);
    return diff > quint64(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max() : qint64(diff);
}

CFType nameValue(const QString &name, const QString &value)
{
    CFType entry = CFType::newDictionary();
    entry.setValue(QStringLiteral("name"), CFType(name));
    entry.setValue(QStringLiteral("value"), CFType(value));
    return entry;
}

void appendPicture(CFType &images, const QString &name, const QString &path)
{
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return;
    CFType entry = CFType::newDictionary();
    entry.setValue(QStringLiteral("name"), CFType(name));
    entry.setValue(QStringLiteral("value"), CFType(bytes));
    images.append(entry);
}

bool isMap(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantHash || value.typeId() == QMetaType::QVariantMap;
}

// A variant hash or map as (key, text) pairs in key order.
QList<std::pair<QString, QString>> textEntries(const QVariant &value)
{
    QList<std::pair<QString, QString>> entries;
    if (value.typeId() == QMetaType::QVariantHash) {
        const QVariantHash hash = value.toHash();
        for (auto it = hash.cbegin(); it != hash.cend(); ++it)
            entries.append({it.key(), it.value().toString()});
    } else if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            entries.append({it.key(), it.value().toString()});
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

const QString GalleryApp = QStringLiteral("com.kik.ext.gallery");

// Apple reference seconds beyond this (about 3000 years) come only from broken data.
constexpr double MaxAppleSeconds = 1e11;

bool usableAppleTime(double seconds)
{
    return std::isfinite(seconds) && std::fabs(seconds) <= MaxAppleSeconds;
}

}   // namespace

QString userDisplayName(const KikUser *user)
{
    if (!user)
        return QStringLiteral("Unknown");
    return DisplayNames().of(user);
}

QString chatDisplayName(const KikChat *chat)
{
    return chat->user ? userDisplayName(chat->user) : QStringLiteral("Unknown");
}

QString groupMembersText(const KikUser *group)
{
    QStringList names;
    if (group->is_group_admin)
        names << QStringLiteral("you (admin)");
    for (const KikMember &member : group->members) {
        if (member.user)
            names << userDisplayName(member.user) + (member.is_admin ? QStringLiteral(" (admin)") : QString());
    }
    return names.join(QStringLiteral(", "));
}

QString groupSenderName(const KikMessage *message)
{
    const KikUser *chatUser = message->chat ? message->chat->user : nullptr;
    if (message->was_me || !chatUser || !chatUser->is_group || !message->target_user)
        return QString();
    return userDisplayName(message->target_user);
}

bool isMissingAttachment(const KikMessage *message)
{
    return !message->content_id.isEmpty() && message->app_id.isEmpty()
           && (message->body.isEmpty() || message->body == message->content_id);
}

QString missingPictureText()
{
    return QStringLiteral("[Picture not available]");
}

QString cardName(const KikMessage *message)
{
    if (!message->sub_app_id.isEmpty())
        return message->sub_app_id;
    const QString title = message->attachment.value(QStringLiteral("string:title")).toString();
    return title.isEmpty() ? QStringLiteral("CARD") : title;
}

QString cardText(const KikMessage *message)
{
    QStringList texts;
    for (const QString &key : {QStringLiteral("string:title"), QStringLiteral("string:text")}) {
        const QString text = message->attachment.value(key).toString().trimmed();
        if (!text.isEmpty() && text != message->sub_app_id && !texts.contains(text))
            texts << text;
    }
    return texts.join(QLatin1Char('\n'));
}

QString cardLink(const KikMessage *message)
{
    const QVariant uris = message->attachment.value(QStringLiteral("uri"));
    if (uris.typeId() == QMetaType::QVariantList) {
        for (const QVariant &uri : uris.toList()) {
            const QString url = uri.toHash().value(QStringLiteral("url")).toString().trimmed();
            if (!url.isEmpty())
                return url;
        }
    }
    static const QRegularExpression jsonUrl(QStringLiteral("\"url\"\\s*:\\s*\"([^\"]+)\""));
    return jsonUrl.match(message->attachment.value(QStringLiteral("extra:jsonData")).toString()).captured(1);
}

QString messageDisplayText(const KikMessage *message, EmojiStyle style)
{
    if (isMissingAttachment(message))
        return missingPictureText();
    switch (messageKindOf(message)) {
    case KikMessageKind::Picture:
        return QStringLiteral("[IMAGE]");
    case KikMessageKind::Video:
        return QStringLiteral("[VIDEO]");
    case KikMessageKind::Gif:
        return QStringLiteral("[GIF]");
    case KikMessageKind::Sticker:
        return QStringLiteral("[STICKER]");
    case KikMessageKind::Card:
        return QLatin1Char('[') + cardName(message) + QLatin1Char(']');
    case KikMessageKind::Text:
        break;
    }

    const bool characters = style == EmojiStyle::Characters;
    const EmojiHandler marker = [](const QString &) { return QStringLiteral("[EMOJI]"); };
    if (message->render_ins.isEmpty())
        return characters ? standardEmoji(message->body) : replaceEmoji(message->body, marker);
    const RenderHandler describe = [characters](const QString &text, const QString *image) {
        if (image)
            return QStringLiteral("[EMOJI:") + *image + QLatin1Char(']');
        if (characters && !emoticonEmoji(text).isEmpty())
            return emoticonEmoji(text);
        if (!text.isEmpty())
            return QLatin1Char('[') + text + QLatin1Char(']');
        return QStringLiteral("[EMOJI]");
    };
    const QString text = applyRenderInstructions(message->body, message->render_ins, describe, false);
    return characters ? standardEmoji(text) : replaceEmoji(text, marker);
}

QString messageSearchText(const KikMessage *message)
{
    const KikMessageKind kind = messageKindOf(message);
    if (kind == KikMessageKind::Card)
        return QStringList{cardName(message), cardText(message)}.join(QLatin1Char(' ')).trimmed();
    if (kind != KikMessageKind::Text || isMissingAttachment(message))
        return QString();
    // Emoji are found as the characters a reader sees (carrier codes as their standard ones).
    if (message->render_ins.isEmpty())
        return standardEmoji(message->body);
    const RenderHandler dropDrawn = [](const QString &, const QString *) { return QString(); };
    return standardEmoji(applyRenderInstructions(message->body, message->render_ins, dropDrawn, false));
}

QString applyRenderInstructions(const QString &body, const QByteArray &renderIns, const RenderHandler &handler, bool escape)
{
    // Positions come from outside; clamped to the body they can never read past it.
    const qint64 length = body.size();
    const auto clamp = [length](qint64 position) { return std::clamp<qint64>(position, 0, length); };
    QString out;
    const auto appendPlain = [&](qint64 from, qint64 to) {
        QString part = body.mid(from, to - from);
        out += escape ? escapeHtml(part) : part;
    };

    RenderInsReader reader(renderIns);
    RenderInsReader::Record record;
    qint64 shift = 0;
    qint64 consumed = 0;
    while (reader.next(&record) && record.start < record.end) {
        const qint64 from = clamp(record.start - shift);
        shift += record.textLength - 1;
        if (consumed < from)
            appendPlain(consumed, from);
        out += handler(record.text, record.hasImage ? &record.image : nullptr);
        consumed = clamp(record.end - shift);
    }
    if (consumed != length)
        appendPlain(consumed, length);
    return out;
}

namespace {

// A message with its time read once. Comparing date-times converts them each time, which
// dominated sorting a large list: read once, a million messages sort about three times faster.
struct MessageSortKey
{
    explicit MessageSortKey(KikMessage *sorted)
        : message(sorted)
        , valid(sorted->ts.isValid())
        , msecs(valid ? sorted->ts.toMSecsSinceEpoch() : 0)
    {
    }

    KikMessage *message;
    bool valid;
    qint64 msecs;
};

// The date-time operators' answers; an invalid time is left to them.
bool timeLess(const MessageSortKey &a, const MessageSortKey &b)
{
    return a.valid && b.valid ? a.msecs < b.msecs : a.message->ts < b.message->ts;
}

bool timeEqual(const MessageSortKey &a, const MessageSortKey &b)
{
    return a.valid && b.valid ? a.msecs == b.msecs : a.message->ts == b.message->ts;
}

// Whole seconds apart as QDateTime::secsTo counts them (0 when either time is invalid).
qint64 secondsApart(const MessageSortKey &a, const MessageSortKey &b)
{
    return a.valid && b.valid ? absDifference(a.msecs / 1000, b.msecs / 1000) : 0;
}

bool keyLessThan(const MessageSortKey &a, const MessageSortKey &b)
{
    if (absDifference(a.message->internal_id, b.message->internal_id) <= 10 && secondsApart(a, b) <= 60)
        return a.message->internal_id < b.message->internal_id;
    return timeLess(a, b);
}

}   // namespace

bool messageLessThan(const KikMessage *a, const KikMessage *b)
{
    return keyLessThan(MessageSortKey(const_cast<KikMessage *>(a)), MessageSortKey(const_cast<KikMessage *>(b)));
}

void sortMessages(KikMessageList &messages, Qt::SortOrder order, QList<qint64> *times)
{
    std::vector<MessageSortKey> keys;
    keys.reserve(messages.size());
    for (qsizetype i = 0; i < messages.size(); ++i) {
        // The messages lie all over memory: one a few places on is fetched meanwhile.
        if (i + 8 < messages.size())
            __builtin_prefetch(&messages[i + 8]->ts);
        keys.emplace_back(messages[i]);
    }
    const bool ascending = order == Qt::AscendingOrder;
    const auto less = [ascending](const MessageSortKey &a, const MessageSortKey &b) {
        return ascending ? keyLessThan(a, b) : keyLessThan(b, a);
    };
    const auto strict = [ascending](const MessageSortKey &a, const MessageSortKey &b) {
        const MessageSortKey &first = ascending ? a : b;
        const MessageSortKey &second = ascending ? b : a;
        if (!timeEqual(first, second))
            return timeLess(first, second);
        return first.message->internal_id < second.message->internal_id;
    };
    neighbourSort(keys.begin(), keys.end(), strict, less);
    for (qsizetype i = 0; i < messages.size(); ++i)
        messages[i] = keys[size_t(i)].message;
    if (times) {
        times->resize(messages.size());
        for (qsizetype i = 0; i < messages.size(); ++i)
            (*times)[i] = keys[size_t(i)].msecs;
    }
}

bool chatNewerThan(const KikChat *a, const KikChat *b)
{
    return b->last_ts < a->last_ts;
}

QString attachmentFileUrl(const KikMessage *message)
{
    return message->attachment.value(QStringLiteral("string:file-url")).toString();
}

CFType buildContentDictionary(const KikMessage *message)
{
    // Kik on the phone matches these ids exactly, so the tests here are case-sensitive.
    const QString &app = message->app_id;
    const KikMessageKind kind = messageKindOf(app, Qt::CaseSensitive);
    const bool gallery = kind == KikMessageKind::Picture;
    const bool video = kind == KikMessageKind::Video;

    CFType content = CFType::newDictionary();
    QString appId = app;
    if (gallery)
        appId = GalleryApp;
    else if (video)
        appId = QStringLiteral("com.kik.ext.video-gallery");
    content.setValue(QStringLiteral("app-id"), CFType(appId));
    content.setValue(QStringLiteral("id"), CFType(message->content_id));

    CFType images = CFType::newArray();
    appendPicture(images, QStringLiteral("preview"), message->preview_path);
    appendPicture(images, QStringLiteral("icon"), message->icon_path);
    appendPicture(images, QStringLiteral("png-preview"), message->png_preview_path);
    content.setValue(QStringLiteral("image"), images);

    CFType strings = CFType::newArray();
    const QVariantHash &attachment = message->attachment;
    if (gallery || video) {
        strings.append(nameValue(QStringLiteral("app-name"), QStringLiteral("Gallery")));
        const qint64 size = attachment.value(QStringLiteral("string:file-size")).toLongLong();
        if (size > 0)
            strings.append(nameValue(QStringLiteral("file-size"), QString::number(size)));
        QString fileName = attachment.value(QStringLiteral("string:file-name")).toString();
        if (QFileInfo(fileName).suffix().isEmpty())
            fileName = message->content_id;
        strings.append(nameValue(QStringLiteral("file-name"), fileName));
        strings.append(nameValue(QStringLiteral("allow-forward"), QStringLiteral("true")));
        if (video)
            strings.append(nameValue(QStringLiteral("layout"), QStringLiteral("video")));
        const QString url = attachmentFileUrl(message);
        if (!url.isEmpty())
            strings.append(nameValue(QStringLiteral("file-url"), url));
    } else {
        CFType extras = CFType::newArray();
        QStringList keys = attachment.keys();
        keys.sort();
        for (const QString &key : std::as_const(keys)) {
            const QString text = attachment.value(key).toString();
            if (key.startsWith(QLatin1String("string:"))) {
                strings.append(nameValue(key.mid(7), text));
            } else if (key.startsWith(QLatin1String("extra:"))) {
                CFType extra = CFType::newDictionary();
                extra.setValue(QStringLiteral("key"), CFType(key.mid(6)));
                extra.setValue(QStringLiteral("val"), CFType(text));
                extras.append(extra);
            }
        }
        if (extras.count() > 0)
            content.setValue(QStringLiteral("extra"), extras);
    }

    const QVariant uri = attachment.value(QStringLiteral("uri"));
    if (uri.typeId() == QMetaType::QVariantList) {
        CFType uris = CFType::newArray();
        for (const QVariant &target : uri.toList()) {
            if (!isMap(target))
                continue;
            CFType link = CFType::newDictionary();
            for (const auto &[key, value] : textEntries(target))
                link.setValue(key, CFType(value));
            uris.append(link);
        }
        content.setValue(QStringLiteral("uri"), uris);
    }

    content.setValue(QStringLiteral("string"), strings);
    return content;
}

QDateTime appleTimeToDateTime(double seconds)
{
    if (!usableAppleTime(seconds))
        return {};
    return QDateTime::fromSecsSinceEpoch(AppleEpochOffset + qint64(seconds));
}

qint64 appleTimeToMSecs(double seconds)
{
    if (!usableAppleTime(seconds))
        return 0;
    return qint64((seconds + double(AppleEpochOffset)) * 1000.0);
}

double msecsToAppleTime(qint64 msecs)
{
    return double(msecs) / 1000.0 - double(AppleEpochOffset);
}

double unixToAppleTime(qint64 seconds)
{
    return double(seconds - AppleEpochOffset);
}
